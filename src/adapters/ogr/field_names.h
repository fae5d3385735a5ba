// Finding attribute fields by name. Internal to the OGR adapter: included only by the files of
// src/adapters/ogr/.
#pragma once

#include <cstddef>
#include <string>

class OGRFeatureDefn;

namespace t3d::ogr {

// Whether two field names are the same, whatever the letter case (ASCII).
bool SameName(const char* a, const char* b);

// The field named `named` when it is not empty (-1 when the layer has none of that name), else
// the first field that bears one of the `count` usual names, tried in their order; -1 when none
// does.
int FindNamedField(const OGRFeatureDefn& definition, const std::string& named,
                   const char* const* usual, size_t count);

}  // namespace t3d::ogr
