#pragma once
// Writes component trees as form files.

#include <filesystem>
#include <string>

#include "platform/component.h"
#include "platform/form_syntax.h"

namespace brelix::platform {

//! The form of root as a syntax tree. With an ancestor (the same form as its ancestor form file
//! reads), the result is an inherited form holding only what differs from it.
FormObject WriteFormObject(const Component& root, const Component* ancestor = nullptr);
//! The text of the form of root (see WriteFormObject).
std::string WriteForm(const Component& root, const Component* ancestor = nullptr);
//! Writes the form to file without ever leaving a half-written file; throws EFileError.
void SaveForm(const std::filesystem::path& file, const Component& root, const Component* ancestor = nullptr);

}  // namespace brelix::platform
