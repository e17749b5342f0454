#include "runtime/BrelixConsts.h"

namespace brelix {

std::string BrelixFormatList(const char* fmt, std::initializer_list<BrelixFormatArg> args) {
  std::string result;
  if (fmt == nullptr) return result;
  const std::string_view text(fmt);
  auto next = args.begin();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '%' || i + 1 == text.size()) {
      result += c;
      continue;
    }
    const char kind = text[i + 1];
    if (kind == '%') {
      result += '%';
      ++i;
    } else if (kind == 's' || kind == 'd') {
      if (next != args.end()) {
        result += next->Text();
        ++next;
      } else {
        result += text.substr(i, 2);
      }
      ++i;
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace brelix
