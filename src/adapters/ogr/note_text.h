// Note texts of map records: the note field of a layer and its texts as GB2312/GBK bytes, the
// code page the note layer lays text out in. Internal to the OGR adapter: included only by the
// files of src/adapters/ogr/.
#pragma once

#include <cstddef>
#include <string>

class OGRFeature;
class OGRFeatureDefn;

namespace t3d::ogr {

// The field of the layer that carries note texts (see MapFileSetNoteField), or -1.
int NoteField(const OGRFeatureDefn& definition);

// Converts text from `encoding` (an iconv name; "" or "UTF-8": UTF-8) to GBK bytes. A character
// GBK cannot hold, or a byte sequence that is not a character of the encoding, becomes "?" and
// adds one to *unheld. Text already in GBK ("GBK", "CP936", "GB2312", "GB18030" text that GBK
// holds) is checked the same way.
std::string ToGbk(const std::string& text, const std::string& encoding, size_t* unheld);

// The note text of a feature's field in GBK ("" for an unset field or none): read as UTF-8 when
// it is valid UTF-8 or the layer gives UTF-8, else in the encoding the file declares, else taken
// as GBK bytes already.
std::string NoteTextOf(const OGRFeature& feature, int field, bool layerGivesUtf8,
                       const std::string& declaredEncoding, size_t* unheld);

}  // namespace t3d::ogr
