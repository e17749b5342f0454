#pragma once
// Reads form files into component trees.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/component.h"
#include "platform/event.h"

namespace brelix::platform {

struct FormLoadOptions {
  //! The methods the program offers to event properties; copied into the root's Methods().
  MethodTable methods;
  //! Open the form for the designer: components are in the designing state while read.
  bool designing = false;
  //! The form file of the ancestor form named by an "inherited Name: TAncestor" root. By default
  //! the file named after the class without its leading "T", with the extension of the
  //! descendant, in the descendant's folder ("TSales" -> "Sales.dfm").
  std::function<std::filesystem::path(const std::string& class_name, const std::filesystem::path& descendant)>
      ancestor_file;
};

//! Reads a form file into a new root component. Throws EFormFileError naming the file, line and
//! column and what was wrong; on failure nothing that was built is left behind.
std::unique_ptr<Component> LoadForm(const std::filesystem::path& file, const FormLoadOptions& options = {});
//! The same for a form's text; file_name names it in messages and locates ancestor forms.
std::unique_ptr<Component> LoadFormText(std::string_view text, const std::filesystem::path& file_name,
                                        const FormLoadOptions& options = {});

}  // namespace brelix::platform
