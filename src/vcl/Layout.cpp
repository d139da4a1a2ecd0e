#include "vcl/Layout.h"

#include <cctype>

#include "vcl/SysUtils.h"

namespace vcl::layout {

bool Value::AsBool() const {
  if (kind == Kind::Ident) {
    if (text == "True") return true;
    if (text == "False") return false;
  }
  throw EReadError("真偽値ではありません: " + text);
}

namespace {

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  Node ParseRoot() {
    Node n = ParseObject();
    SkipSpace();
    if (pos_ != s_.size()) Fail("余分な文字があります");
    return n;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    int line = 1;
    for (std::size_t i = 0; i < pos_ && i < s_.size(); ++i)
      if (s_[i] == '\n') ++line;
    throw EReadError("レイアウトの " + std::to_string(line) + " 行目: " + what);
  }

  void SkipSpace() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }

  bool AtEnd() { return pos_ >= s_.size(); }

  static bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
  }

  std::string Ident() {
    SkipSpace();
    std::size_t start = pos_;
    while (pos_ < s_.size() && IsIdentChar(s_[pos_])) ++pos_;
    if (start == pos_) Fail("名前がありません");
    return std::string(s_.substr(start, pos_ - start));
  }

  void Expect(char c) {
    SkipSpace();
    if (AtEnd() || s_[pos_] != c) Fail(std::string("'") + c + "' がありません");
    ++pos_;
  }

  bool PeekWord(std::string_view w) {
    SkipSpace();
    if (s_.substr(pos_, w.size()) != w) return false;
    std::size_t after = pos_ + w.size();
    return after >= s_.size() || !IsIdentChar(s_[after]);
  }

  Node ParseObject() {
    if (!PeekWord("object")) Fail("object がありません");
    pos_ += 6;
    Node n;
    n.name = Ident();
    Expect(':');
    n.className = Ident();
    for (;;) {
      if (PeekWord("end")) {
        pos_ += 3;
        return n;
      }
      if (PeekWord("object")) {
        n.children.push_back(ParseObject());
        continue;
      }
      if (AtEnd()) Fail("end がありません");
      Property p;
      p.name = Ident();
      Expect('=');
      p.value = ParseValue();
      n.properties.push_back(std::move(p));
    }
  }

  std::string QuotedString() {
    // 'abc''def' -> abc'def
    std::string out;
    Expect('\'');
    for (;;) {
      if (AtEnd() || s_[pos_] == '\n') Fail("文字列が閉じていません");
      char c = s_[pos_++];
      if (c == '\'') {
        if (pos_ < s_.size() && s_[pos_] == '\'') {
          out += '\'';
          ++pos_;
          continue;
        }
        return out;
      }
      out += c;
    }
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  Value ParseValue() {
    SkipSpace();
    if (AtEnd()) Fail("値がありません");
    Value v;
    char c = s_[pos_];
    if (c == '\'') {
      v.kind = Value::Kind::String;
      v.text = QuotedString();
      // 'abc' + 'def' continues a long string
      for (;;) {
        SkipSpace();
        if (pos_ < s_.size() && s_[pos_] == '+') {
          ++pos_;
          v.text += QuotedString();
        } else {
          break;
        }
      }
    } else if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
      v.kind = Value::Kind::Integer;
      bool negative = c == '-';
      if (negative) ++pos_;
      std::size_t start = pos_;
      std::int64_t n = 0;
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
        n = n * 10 + (s_[pos_] - '0');
        if (n > (std::int64_t{1} << 40)) Fail("数が大きすぎます");
        ++pos_;
      }
      if (start == pos_) Fail("数がありません");
      v.integer = negative ? -n : n;
    } else if (c == '[') {
      v.kind = Value::Kind::Set;
      ++pos_;
      SkipSpace();
      if (pos_ < s_.size() && s_[pos_] == ']') {
        ++pos_;
        return v;
      }
      for (;;) {
        v.items.push_back(Ident());
        SkipSpace();
        if (pos_ < s_.size() && s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        Expect(']');
        break;
      }
    } else if (c == '{') {
      v.kind = Value::Kind::Binary;
      ++pos_;
      int high = -1;
      for (;;) {
        if (AtEnd()) Fail("} がありません");
        char h = s_[pos_++];
        if (h == '}') break;
        if (std::isspace(static_cast<unsigned char>(h))) continue;
        int d = HexDigit(h);
        if (d < 0) Fail("16進数ではありません");
        if (high < 0) {
          high = d;
        } else {
          v.text += static_cast<char>(high * 16 + d);
          high = -1;
        }
      }
      if (high >= 0) Fail("16進数の桁が奇数です");
    } else if (c == '(') {
      v.kind = Value::Kind::List;
      ++pos_;
      for (;;) {
        SkipSpace();
        if (pos_ < s_.size() && s_[pos_] == ')') {
          ++pos_;
          break;
        }
        v.items.push_back(QuotedString());
      }
    } else {
      v.kind = Value::Kind::Ident;
      v.text = Ident();
    }
    return v;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

Node Parse(std::string_view text) { return Parser(text).ParseRoot(); }

}  // namespace vcl::layout
