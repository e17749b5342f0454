#include "platform/errors.h"

namespace brelix::platform {

namespace {
std::string Place(const std::string& file, SourcePos pos) {
  std::string place = file.empty() ? std::string("<form>") : file;
  if (pos.line > 0) place += ":" + std::to_string(pos.line) + ":" + std::to_string(pos.column);
  return place;
}
}  // namespace

EFormFileError::EFormFileError(std::string file, SourcePos pos, std::string detail)
    : Exception(Place(file, pos) + ": " + detail),
      file_(std::move(file)),
      pos_(pos),
      detail_(std::move(detail)) {}

}  // namespace brelix::platform
