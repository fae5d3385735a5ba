// Colour numbers of map records, read from an attribute field. Internal to the OGR adapter:
// included only by the files of src/adapters/ogr/.
#pragma once

#include <cstdint>

class OGRFeature;
class OGRFeatureDefn;

namespace t3d::ogr {

// The field of the layer that carries colour numbers (see MapFileSetColourField), or -1.
int ColourField(const OGRFeatureDefn& definition);
// The colour number a feature's field holds, or MAP_NO_COLOUR.
int32_t ColourNumberOf(const OGRFeature& feature, int field);

}  // namespace t3d::ogr
