#include "runtime/BrelixFieldParser.h"

#include "runtime/BrelixConsts.h"

namespace brelix {

namespace {

const char* const kFuncNames[] = {"", "SUM", "AVG", "MAX", "MIN", "COUNT"};

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string AsciiUpper(std::string_view s) {
  std::string upper(s);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

}  // namespace

const char* BrelixFieldFuncName(TBrelixFieldFunc func) {
  return func <= ffCnt ? kFuncNames[func] : "";
}

std::size_t TBrelixFieldParser::UnquotedRun(std::string_view s) {
  int depth = 0;
  std::size_t i = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth < 0) break;
    } else if (!(IsLetter(c) || c == '_' || c == '.' || (IsDigit(c) && i > 0))) {
      break;
    }
  }
  return i;
}

void TBrelixFieldParser::SetFieldString(std::string_view text) {
  fields_.clear();
  funcs_.clear();
  texts_.clear();
  values_.clear();
  field_string_ = std::string(text);
  const char fs = field_sign_;
  std::string s(text);
  if (s.size() >= 2 && s[0] == fs && s[1] == '=') s.erase(0, 1);
  auto bad_text = [&] {
    values_.resize(fields_.size());
    throw EBrelixFieldParserError(BrelixFormat(BrelixConsts::MsgFPrsBadStr, field_string_, fs));
  };

  std::size_t p = s.find(fs);
  while (p != std::string::npos) {
    // A doubled sign is one literal sign; scanning goes on after it.
    while (p + 1 < s.size() && s[p + 1] == fs) {
      s.erase(p, 1);
      p = s.find(fs, p + 1);
      if (p == std::string::npos) break;
    }
    if (p == std::string::npos) break;
    AddText(std::string_view(s).substr(0, p));
    if (p + 1 == s.size()) {  // a trailing sign is dropped
      s.clear();
      break;
    }
    char next = s[p + 1];
    if (next == '"' || next == '\'') {
      if (p + 2 == s.size()) {  // a trailing quote goes with its sign
        s.clear();
        break;
      }
      std::size_t close = s.find(next, p + 2);
      if (close == std::string::npos || close == p + 2) bad_text();
      try {
        AddFunc(std::string_view(s).substr(p + 2, close - p - 2));
      } catch (...) {
        values_.resize(fields_.size());
        throw;
      }
      s.erase(0, close + 1);
    } else {
      std::size_t run = UnquotedRun(std::string_view(s).substr(p + 1));
      if (run == 0) bad_text();
      try {
        AddFunc(std::string_view(s).substr(p + 1, run));
      } catch (...) {
        values_.resize(fields_.size());
        throw;
      }
      s.erase(0, p + 1 + run);
    }
    p = s.find(fs);
  }
  AddText(s);
  values_.assign(fields_.size(), std::string());
}

void TBrelixFieldParser::AddFunc(std::string_view expr) {
  std::size_t open = expr.find('(');
  if (open == std::string_view::npos) {
    fields_.emplace_back(expr);
    funcs_.push_back(ffNone);
    return;
  }
  if (expr.back() != ')')
    throw EBrelixFieldParserError(BrelixFormat(BrelixConsts::MsgFPrsBadField, expr));
  std::string name = AsciiUpper(expr.substr(0, open));
  TBrelixFieldFunc func = ffNone;
  for (int f = ffSum; f <= ffCnt; ++f)
    if (name == kFuncNames[f]) func = static_cast<TBrelixFieldFunc>(f);
  if (func == ffNone) throw EBrelixFieldParserError(BrelixFormat(BrelixConsts::MsgFPrsBadFunc, expr));
  fields_.emplace_back(expr.substr(open + 1, expr.size() - open - 2));
  funcs_.push_back(func);
}

std::string TBrelixFieldParser::GetValue(int index) { return values_.at(static_cast<std::size_t>(index)); }

void TBrelixFieldParser::SetValue(int index, std::string value) {
  values_.at(static_cast<std::size_t>(index)) = std::move(value);
}

std::string TBrelixFieldParser::GetResultString() {
  std::string result = texts_.empty() ? std::string() : texts_[0];
  for (int i = 0; i < Count(); ++i) {
    result += GetValue(i);
    if (static_cast<std::size_t>(i) + 1 < texts_.size()) result += texts_[static_cast<std::size_t>(i) + 1];
  }
  return result;
}

}  // namespace brelix
