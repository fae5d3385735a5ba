// The GL texture an overlay pass keeps per target (window or off-screen context).
#pragma once

#include <GL/gl.h>

namespace t3d {

// Binds `texture` to GL_TEXTURE_2D, making it first when it is not a texture of the current
// context: linear filtering, the given wrap modes, high residency priority. True when it was
// made just now (its image is still to be given). The texture environment is the caller's to
// set on every use: it belongs to the texture unit, not to the texture.
bool BindOverlayTexture(GLuint& texture, GLint wrapS, GLint wrapT);

}  // namespace t3d
