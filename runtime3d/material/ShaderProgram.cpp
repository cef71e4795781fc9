#include "runtime3d/material/ShaderProgram.h"

namespace rt3d {

TShaderProgram::TShaderProgram(std::string name, TShaderKind kind, std::string source)
    : FName(std::move(name)), FKind(kind), FSource(std::move(source)) {}

TShaderProgram::~TShaderProgram() = default;

TShaderManager& TShaderManager::Instance() {
  static TShaderManager manager;
  return manager;
}

TShaderManager::TShaderManager() = default;
TShaderManager::~TShaderManager() = default;

TShaderProgram* TShaderManager::Register(std::string_view name, TShaderKind kind,
                                         std::string_view source) {
  for (const auto& program : FPrograms) {
    if (program->Kind() == kind && program->Name() == name && program->Source() == source) {
      return program.get();
    }
  }
  FPrograms.push_back(
      std::make_unique<TShaderProgram>(std::string(name), kind, std::string(source)));
  return FPrograms.back().get();
}

std::string CannotFindShaderMessage(std::string_view programName) {
  return "Cannot find a suitable shader for '" + std::string(programName) + "'.";
}

std::string UniformName(std::string_view variable) {
  std::string result = "_";
  result.reserve(variable.size() + 4);
  for (char c : variable) {
    result += c;
    if (c == '.') result += '_';
  }
  return result;
}

std::string WithDepthRemap(std::string_view source) {
  const std::string define = "#define " + std::string(kRemapDepthDefine) + "\n";
  // #version must stay the first line, so the define goes right after it.
  const std::size_t version = source.find("#version");
  if (version == std::string_view::npos) return define + std::string(source);
  const std::size_t lineEnd = source.find('\n', version);
  if (lineEnd == std::string_view::npos) return std::string(source) + "\n" + define;
  return std::string(source.substr(0, lineEnd + 1)) + define +
         std::string(source.substr(lineEnd + 1));
}

}  // namespace rt3d
