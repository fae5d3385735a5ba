#include "adapters/ogr/field_names.h"

#include <ogrsf_frmts.h>

#include <cctype>

namespace t3d::ogr {

bool SameName(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

int FindNamedField(const OGRFeatureDefn& definition, const std::string& named,
                   const char* const* usual, size_t count) {
  const int fields = definition.GetFieldCount();
  if (!named.empty()) {
    for (int i = 0; i < fields; ++i)
      if (SameName(definition.GetFieldDefn(i)->GetNameRef(), named.c_str())) return i;
    return -1;
  }
  for (size_t k = 0; k < count; ++k)
    for (int i = 0; i < fields; ++i)
      if (SameName(definition.GetFieldDefn(i)->GetNameRef(), usual[k])) return i;
  return -1;
}

}  // namespace t3d::ogr
