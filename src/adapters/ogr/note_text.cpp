// Note texts of map records, converted to GBK with iconv.
#include "adapters/ogr/note_text.h"

#include <ogrsf_frmts.h>

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <mutex>

#include "adapters/map_file.h"
#include "adapters/ogr/field_names.h"

namespace t3d::ogr {
namespace {

std::mutex g_noteFieldMutex;
std::string g_noteField;  // empty: the default names


// Length of the UTF-8 sequence that starts at text[i] (1 for a byte that starts none).
size_t Utf8Length(const std::string& text, size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  if (i + n > text.size()) return 1;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
  return n;
}

bool ValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8Length(text, i);
    if (n == 1 && static_cast<unsigned char>(text[i]) >= 0x80) return false;
    i += n;
  }
  return true;
}

bool IsUtf8Name(const std::string& encoding) {
  return encoding.empty() || SameName(encoding.c_str(), "UTF-8") || SameName(encoding.c_str(), "UTF8");
}

// The note layer takes two bytes that both have the high bit set as one character, as GB2312
// has them; GBK's extension (many traditional characters among them) has second bytes below
// 0x80, which the layer would draw as two characters. Such a pair becomes one "?".
void KeepHighPairs(std::string& gbk, size_t* unheld) {
  std::string out;
  out.reserve(gbk.size());
  for (size_t i = 0; i < gbk.size(); ++i) {
    const auto lead = static_cast<unsigned char>(gbk[i]);
    if (lead < 0x81 || i + 1 >= gbk.size()) {
      out.push_back(gbk[i]);
      continue;
    }
    const auto second = static_cast<unsigned char>(gbk[i + 1]);
    if (second >= 0x80) {
      out.append(gbk, i, 2);
    } else {
      out.push_back('?');
      if (unheld != nullptr) ++*unheld;
    }
    ++i;
  }
  gbk.swap(out);
}

}  // namespace

int NoteField(const OGRFeatureDefn& definition) {
  static const char* const kNames[] = {"name", "text", "note", "label", "annotation"};
  std::string named;
  {
    std::lock_guard<std::mutex> lock(g_noteFieldMutex);
    named = g_noteField;
  }
  const int field = FindNamedField(definition, named, kNames, sizeof kNames / sizeof kNames[0]);
  if (field >= 0 || !named.empty()) return field;
  // Else the first text field.
  for (int i = 0; i < definition.GetFieldCount(); ++i)
    if (definition.GetFieldDefn(i)->GetType() == OFTString) return i;
  return -1;
}

std::string ToGbk(const std::string& text, const std::string& encoding, size_t* unheld) {
  const bool utf8 = IsUtf8Name(encoding);
  std::string out;
  out.reserve(text.size() + 4);
  iconv_t cd = iconv_open("GBK", utf8 ? "UTF-8" : encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // An encoding iconv does not know: ASCII passes, every other byte is unheld.
    for (char c : text) {
      const bool ascii = static_cast<unsigned char>(c) < 0x80;
      out.push_back(ascii ? c : '?');
      if (!ascii && unheld != nullptr) ++*unheld;
    }
    return out;
  }
  std::string input = text;
  char* in = input.empty() ? nullptr : &input[0];
  size_t inLeft = input.size();
  char buffer[256];
  while (inLeft > 0) {
    char* dst = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd, &in, &inLeft, &dst, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (result != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // A character GBK cannot hold (EILSEQ), or a sequence cut short at the end (EINVAL): one "?"
    // in its place and on after it.
    const size_t at = input.size() - inLeft;
    const size_t skip = utf8 ? Utf8Length(input, at) : 1;
    out.push_back('?');
    if (unheld != nullptr) ++*unheld;
    in += std::min(skip, inLeft);
    inLeft -= std::min(skip, inLeft);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  KeepHighPairs(out, unheld);
  return out;
}

std::string NoteTextOf(const OGRFeature& feature, int field, bool layerGivesUtf8,
                       const std::string& declaredEncoding, size_t* unheld) {
  if (field < 0 || field >= feature.GetFieldCount() || !feature.IsFieldSetAndNotNull(field))
    return std::string();
  const std::string text = feature.GetFieldAsString(field);
  if (layerGivesUtf8 || ValidUtf8(text)) return ToGbk(text, "UTF-8", unheld);
  if (!declaredEncoding.empty()) return ToGbk(text, declaredEncoding, unheld);
  return ToGbk(text, "GBK", unheld);
}

}  // namespace t3d::ogr

extern "C" void MapFileSetNoteField(const char* name) {
  std::lock_guard<std::mutex> lock(t3d::ogr::g_noteFieldMutex);
  t3d::ogr::g_noteField = name != nullptr ? name : "";
}
