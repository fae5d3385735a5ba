#include "overlay/overlay_texture.h"

namespace t3d {

bool BindOverlayTexture(GLuint& texture, GLint wrapS, GLint wrapT) {
  if (texture != 0 && glIsTexture(texture)) {
    glBindTexture(GL_TEXTURE_2D, texture);
    return false;
  }
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapS);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapT);
  const GLclampf priority = 1.0f;
  glPrioritizeTextures(1, &texture, &priority);
  return true;
}

}  // namespace t3d
