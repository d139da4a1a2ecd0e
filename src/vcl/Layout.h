// Stored window layouts: a small text format in the style of the class library's form files.
//
//   object Form1: TForm1
//     Left = 552
//     Caption = 'ミルテナ'          (UTF-8; '' inside quotes is one quote)
//     BorderIcons = [biMinimize]
//     Icon.Data = {0000010001...}   (bytes in hex, may span lines)
//     object Memo1: TMemo
//       ...
//     end
//   end
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vcl::layout {

struct Value {
  enum class Kind : std::uint8_t { Integer, String, Ident, Set, Binary, List };
  Kind kind = Kind::Integer;
  std::int64_t integer = 0;
  std::string text;                // String (UTF-8), Ident, Binary (raw bytes)
  std::vector<std::string> items;  // Set members; List of strings

  bool AsBool() const;  // Ident True/False
};

struct Property {
  std::string name;  // may be dotted: "Font.Name"
  Value value;
};

struct Node {
  std::string name;
  std::string className;
  std::vector<Property> properties;  // in stored order
  std::vector<Node> children;        // in stored order
};

// Throws vcl::EReadError with the line number on malformed input.
Node Parse(std::string_view text);

}  // namespace vcl::layout
