#pragma once
// The GLSL texts of the material programs, by program name.

#include <span>
#include <string>
#include <string_view>

namespace rt3d {

// "gouraud1.fvs" ... "gouraud8.fvs", "nolight.fvs", "gouraud.fps", "gouraud_flip.fps",
// "texture.fvs", "texture.fps", "texture_flip.fps", "color.fvs", "color.fps".
std::span<const std::string_view> ShaderProgramNames();
// The program's text; empty for a name that is none of them.
const std::string& ShaderSource(std::string_view name);

}  // namespace rt3d
