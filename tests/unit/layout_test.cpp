// Reading stored layouts.
#include <gtest/gtest.h>

#include "vcl/Layout.h"
#include "vcl/SysUtils.h"

namespace {

using vcl::layout::Parse;
using vcl::layout::Value;

TEST(LayoutTest, ReadsObjectsPropertiesAndValuesInStoredOrder) {
  auto root = Parse(R"(object Form1: TForm1
  Left = 552
  Top = -3
  Caption = 'ミルテナ'
  Quote = 'it''s' + ' long'
  BorderIcons = [biMinimize, biHelp]
  Empty = []
  Visible = False
  Font.Name = 'ＭＳ Ｐゴシック'
  Icon.Data = {
    0001FF
    7a}
  Lines.Strings = (
    'one'
    'two')
  object Memo1: TMemo
    object Inner: TLabel
    end
  end
  object Timer1: TTimer
    Interval = 100
  end
end
)");
  EXPECT_EQ(root.name, "Form1");
  EXPECT_EQ(root.className, "TForm1");
  ASSERT_EQ(root.properties.size(), 10u);
  EXPECT_EQ(root.properties[0].name, "Left");
  EXPECT_EQ(root.properties[0].value.integer, 552);
  EXPECT_EQ(root.properties[1].value.integer, -3);
  EXPECT_EQ(root.properties[2].value.text, "ミルテナ");
  EXPECT_EQ(root.properties[3].value.text, "it's long");
  EXPECT_EQ(root.properties[4].value.items, (std::vector<std::string>{"biMinimize", "biHelp"}));
  EXPECT_EQ(root.properties[5].value.kind, Value::Kind::Set);
  EXPECT_TRUE(root.properties[5].value.items.empty());
  EXPECT_FALSE(root.properties[6].value.AsBool());
  EXPECT_EQ(root.properties[7].name, "Font.Name");
  EXPECT_EQ(root.properties[8].value.text, std::string("\x00\x01\xff\x7a", 4));
  EXPECT_EQ(root.properties[9].value.items, (std::vector<std::string>{"one", "two"}));
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.children[0].name, "Memo1");
  EXPECT_EQ(root.children[0].children[0].className, "TLabel");
  EXPECT_EQ(root.children[1].properties[0].value.integer, 100);
}

TEST(LayoutTest, MalformedInputNamesTheLine) {
  struct Case {
    const char* text;
    const char* line;
  } cases[] = {
      {"object A: TA\n  X = 'open\nend\n", "2 行目"},
      {"object A: TA\n  X = 1\n", "3 行目"},  // no end
      {"object A: TA\n  X = {0G}\nend\n", "2 行目"},
      {"object A: TA\n  X = {012}\nend\n", "2 行目"},
      {"object A TA\nend\n", "1 行目"},
      {"object A: TA\nend\nextra", "3 行目"},
      {"thing A: TA\nend\n", "1 行目"},
  };
  for (const Case& c : cases) {
    try {
      Parse(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const vcl::EReadError& e) {
      EXPECT_NE(e.Message().find(c.line), std::string::npos) << e.Message();
    }
  }
}

TEST(LayoutTest, BooleanOnlyFromTrueOrFalse) {
  Value v;
  v.kind = Value::Kind::Ident;
  v.text = "True";
  EXPECT_TRUE(v.AsBool());
  v.text = "yes";
  EXPECT_THROW(v.AsBool(), vcl::EReadError);
}

}  // namespace
