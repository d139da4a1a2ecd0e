// Switching, capture, the 100 ms poll and the Ctrl+Shift chord, on the virtual clock.
#include <gtest/gtest.h>

#include <random>

#include "program_fixture.h"

namespace {

using plat::EventKind;
constexpr int kCtrl = plat::kVkControl;
constexpr int kShift = plat::kVkShift;

class SlotsTest : public ProgramTest {
 protected:
  // Runs the test body inside a running program.
  void Inside(std::function<void()> body) {
    bool ran = false;
    EXPECT_EQ(Run({[&] {
                body();
                ran = true;
              }}),
              0);
    EXPECT_TRUE(ran);
  }
  void Tick() { Pass(100); }
  void Chord(bool down) {
    hl.SetKeyDown(kCtrl, down);
    hl.SetKeyDown(kShift, down);
  }
  std::string Marker() { return Form1->Edit1->Text(); }
  // Slot A holds a, slot B holds b, A is active and on the clipboard.
  void FillBothSlots(const std::string& a, const std::string& b) {
    hl.SetClipboardText(b);
    Tick();
    ASSERT_TRUE(Form1->SwitchSlot());  // to B, which captures b next
    hl.SetClipboardText(b);
    Tick();
    hl.SetClipboardText(a);
    ASSERT_TRUE(Form1->SwitchSlot());  // back to A
    hl.SetClipboardText(a);
    Tick();
    ASSERT_EQ(Form1->Memo1->Text(), a);
    ASSERT_EQ(Form1->Memo2->Text(), b);
    ASSERT_EQ(Marker(), "A");
  }
};

TEST_F(SlotsTest, HeldChordSwitchesEveryTenTicks) {
  Inside([&] {
    FillBothSlots("x", "y");
    Chord(true);
    std::vector<int> switchTicks;
    std::vector<int> counters;
    std::string marker = Marker();
    for (int tick = 1; tick <= 25; ++tick) {  // 2.5 s
      Tick();
      counters.push_back(SwitchCooldown);
      if (Marker() != marker) {
        switchTicks.push_back(tick);
        marker = Marker();
        // After every switch the marker and the clipboard name the same slot.
        EXPECT_EQ(hl.ClipboardText(), marker == "A" ? "x" : "y");
      }
    }
    EXPECT_EQ(switchTicks, (std::vector<int>{1, 11, 21}));
    EXPECT_EQ(Marker(), "B");  // A -> B -> A -> B
    EXPECT_EQ(std::vector<int>(counters.begin(), counters.begin() + 11),
              (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1}));
    EXPECT_EQ(Form1->Memo1->Text(), "x");
    EXPECT_EQ(Form1->Memo2->Text(), "y");
  });
}

TEST_F(SlotsTest, PressAgainHalfASecondAfterASwitchWaitsForTheTenthTick) {
  Inside([&] {
    Chord(true);
    Tick();
    ASSERT_EQ(Marker(), "B");
    Chord(false);
    for (int i = 0; i < 5; ++i) Tick();
    Chord(true);
    for (int tick = 7; tick <= 10; ++tick) {
      Tick();
      EXPECT_EQ(Marker(), "B") << "tick " << tick;
    }
    Tick();  // the 10th tick after the switch
    EXPECT_EQ(Marker(), "A");
  });
}

TEST_F(SlotsTest, WhatIsNotTheChordDoesNotSwitch) {
  struct Case {
    const char* name;
    std::function<void(plat::HeadlessPlatform&, std::function<void()>)> play;
  } cases[] = {
      {"ctrl alone",
       [](auto& hl, auto tick) {
         hl.SetKeyDown(kCtrl, true);
         for (int i = 0; i < 3; ++i) tick();
         hl.SetKeyDown(kCtrl, false);
       }},
      {"shift alone",
       [](auto& hl, auto tick) {
         hl.SetKeyDown(kShift, true);
         for (int i = 0; i < 3; ++i) tick();
         hl.SetKeyDown(kShift, false);
       }},
      {"ctrl, then shift a tick later",
       [](auto& hl, auto tick) {
         hl.SetKeyDown(kCtrl, true);
         tick();
         hl.SetKeyDown(kCtrl, false);
         tick();
         hl.SetKeyDown(kShift, true);
         tick();
         tick();
         hl.SetKeyDown(kShift, false);
       }},
  };
  Inside([&] {
    for (const Case& c : cases) {
      c.play(hl, [&] { Tick(); });
      Tick();
      EXPECT_EQ(Marker(), "A") << c.name;
    }
  });
}

TEST_F(SlotsTest, ChordTappedWithinOneTickOrWithAnotherKeySwitches) {
  Inside([&] {
    hl.TapKey(kCtrl);
    hl.TapKey(kShift);
    Tick();
    EXPECT_EQ(Marker(), "B");
    for (int i = 0; i < 9; ++i) Tick();
    Chord(true);
    hl.SetKeyDown(0x1B, true);  // Ctrl+Shift+Esc
    Tick();
    EXPECT_EQ(Marker(), "A");
  });
}

TEST_F(SlotsTest, KeysAreQueriedAsTheTickPrescribes) {
  Inside([&] {
    auto queriesOfOneTick = [&] {
      hl.keyQueries.clear();
      Tick();
      return hl.keyQueries;
    };
    using Q = std::vector<int>;
    EXPECT_EQ(queriesOfOneTick(), (Q{kCtrl, kCtrl, kShift}));  // Ctrl zero: no Shift in step 5
    hl.SetKeyDown(kCtrl, true);
    EXPECT_EQ(queriesOfOneTick(), (Q{kCtrl, kShift, kCtrl, kShift}));
    hl.SetKeyDown(kShift, true);
    EXPECT_EQ(queriesOfOneTick(), (Q{kCtrl, kShift, kCtrl, kShift}));  // switched
    EXPECT_EQ(queriesOfOneTick(), (Q{kCtrl, kShift}));  // cooling down: step 6 only
  });
}

TEST_F(SlotsTest, TextCopiedJustBeforeASwitchLandsInNeitherSlot) {
  Inside([&] {
    FillBothSlots("a", "b");
    hl.SetClipboardText("new");
    Chord(true);
    Tick();
    EXPECT_EQ(Marker(), "B");
    EXPECT_EQ(hl.ClipboardText(), "b");
    EXPECT_EQ(Form1->Memo1->Text(), "a");
    EXPECT_EQ(Form1->Memo2->Text(), "b");
  });
}

TEST_F(SlotsTest, CaptureFollowsTheClipboardByteForByte) {
  const std::string cases[] = {"abc", "ABC", "ABC\r\n", "ABC\n", "ABC ", "\x83\x7e\x83\x8b",
                               std::string(1, '\x01'), std::string(100000, '\xff')};
  Inside([&] {
    Tick();
    for (const std::string& text : cases) {
      hl.SetClipboardText(text);
      Tick();
      EXPECT_EQ(Form1->Memo1->Text(), text);
      EXPECT_EQ(Form1->Memo2->Text(), "");  // the inactive view is never touched
    }
    // A text with a zero byte counts up to it.
    hl.SetClipboardText(std::string("cut\0here", 8));
    Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "cut");
  });
}

TEST_F(SlotsTest, PictureOnlyClipboardEmptiesTheActiveSlotOnly) {
  Inside([&] {
    FillBothSlots("a", "b");
    hl.SetClipboardNonText();
    Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "");
    EXPECT_EQ(Form1->Memo2->Text(), "b");
  });
}

TEST_F(SlotsTest, AnyMarkerButACapturesIntoSlotB) {
  for (const char* marker : {"", "a", "A ", "B"}) {
    ResetProcessState();
    hl = plat::HeadlessPlatform();
    plat::SetCurrent(&hl);
    Inside([&] {
      Form1->Edit1->SetText(marker);
      hl.SetClipboardText("text");
      Tick();
      EXPECT_EQ(Form1->Memo1->Text(), "") << '"' << marker << '"';
      EXPECT_EQ(Form1->Memo2->Text(), "text") << '"' << marker << '"';
    });
  }
}

TEST_F(SlotsTest, SwitchRecoloursBothViewsAndFlipsTheMarkerLast) {
  struct Colours {
    vcl::TColor bg1, fg1, bg2, fg2;
  };
  auto now = [&] {
    const auto& m1 = hl.Window(Form1->Memo1->Handle());
    const auto& m2 = hl.Window(Form1->Memo2->Handle());
    return Colours{m1.background, m1.textColor, m2.background, m2.textColor};
  };
  auto expect = [](Colours c, Colours want, const char* when) {
    EXPECT_EQ(c.bg1, want.bg1) << when;
    EXPECT_EQ(c.fg1, want.fg1) << when;
    EXPECT_EQ(c.bg2, want.bg2) << when;
    EXPECT_EQ(c.fg2, want.fg2) << when;
  };
  Inside([&] {
    expect(now(), {vcl::clWindow, vcl::clWindowText, vcl::clSilver, vcl::clBlack}, "start");
    ASSERT_TRUE(Form1->SwitchSlot());
    EXPECT_EQ(Marker(), "B");
    expect(now(), {vcl::clSilver, vcl::clWhite, vcl::clWindow, vcl::clBlack}, "to B");
    ASSERT_TRUE(Form1->SwitchSlot());
    EXPECT_EQ(Marker(), "A");
    expect(now(), {vcl::clWindow, vcl::clBlack, vcl::clSilver, vcl::clWhite}, "to A");
  });
}

TEST_F(SlotsTest, SwitchToAnEmptySlotLeavesTheEmptyTextOnTheClipboard) {
  Inside([&] {
    hl.SetClipboardText("a");
    Tick();
    hl.Send(Form1->Memo2->Handle(), {EventKind::Click});
    EXPECT_EQ(Marker(), "B");
    EXPECT_TRUE(hl.ClipboardHasText());
    EXPECT_EQ(hl.ClipboardText(), "");
    Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "a");
  });
}

TEST_F(SlotsTest, ClickSwitchesOnlyFromTheInactiveViewAndOnce) {
  Inside([&] {
    FillBothSlots("a", "b");
    plat::Handle m1 = Form1->Memo1->Handle(), m2 = Form1->Memo2->Handle();
    hl.Send(m1, {EventKind::Click});
    EXPECT_EQ(Marker(), "A");
    // A double-click on the inactive view is two clicks: the second finds it active.
    hl.Send(m2, {EventKind::Click});
    hl.Send(m2, {EventKind::Click});
    EXPECT_EQ(Marker(), "B");
    EXPECT_EQ(hl.ClipboardText(), "b");
    EXPECT_EQ(SwitchCooldown, 0);  // a click does not delay the hot-key
    Chord(true);
    Tick();
    EXPECT_EQ(Marker(), "A");
  });
}

TEST_F(SlotsTest, IdleTicksDoNotOpenTheClipboardYetSeeEveryChange) {
  Inside([&] {
    hl.SetClipboardText(std::string(1 << 20, 'm'));
    Tick();
    Tick();
    int opens = hl.clipOpens;
    for (int i = 0; i < 50; ++i) Tick();
    EXPECT_EQ(hl.clipOpens, opens);
    hl.SetClipboardText("next");
    Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "next");
    // A view changed behind the poll's back is compared again.
    Tick();
    Form1->Memo1->SetText("changed");
    Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "next");
  });
}

TEST_F(SlotsTest, ACaptureReadsTheClipboardOnceAndASwitchNotAtAllAfterwards) {
  Inside([&] {
    Tick();
    hl.SetClipboardText("copied");
    int reads = hl.clipReads;
    Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "copied");
    EXPECT_EQ(hl.clipReads, reads + 1);
    Chord(true);
    Tick();
    Chord(false);
    ASSERT_EQ(Marker(), "B");
    int opens = hl.clipOpens;
    for (int i = 0; i < 20; ++i) Tick();
    EXPECT_EQ(hl.clipOpens, opens);  // it knows the clipboard holds what it wrote
    hl.SetClipboardText("into b");
    Tick();
    EXPECT_EQ(Form1->Memo2->Text(), "into b");
    EXPECT_EQ(Form1->Memo1->Text(), "copied");
  });
}

// --- the clipboard refusing us ---------------------------------------------------------------

TEST_F(SlotsTest, ClipboardHeldByAnotherApplicationLosesNothing) {
  Inside([&] {
    FillBothSlots("a", "b");
    hl.HoldClipboard(true);
    Chord(true);
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(Marker(), "A");  // the switch did not happen
    EXPECT_EQ(SwitchCooldown, 0);
    EXPECT_EQ(Form1->Memo1->Text(), "a");  // not taken for an empty clipboard
    hl.HoldClipboard(false);
    Tick();  // the chord is still held: this tick switches
    EXPECT_EQ(Marker(), "B");
    EXPECT_EQ(hl.ClipboardText(), "b");
    Chord(false);
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "a");
    EXPECT_EQ(Form1->Memo2->Text(), "b");
    EXPECT_TRUE(hl.boxes.empty());
  });
}

TEST_F(SlotsTest, SwitchWithoutMemoryShowsTheErrorAndChangesNothing) {
  Inside([&] {
    FillBothSlots("a", "b");
    hl.FailWrites(plat::ClipWrite::NoMemory, 1);
    Chord(true);
    Tick();
    ASSERT_EQ(hl.boxes.size(), 1u);
    EXPECT_EQ(hl.boxes[0].text, "メモリが不足しています.");
    EXPECT_EQ(Marker(), "A");
    EXPECT_EQ(hl.ClipboardText(), "a");
    EXPECT_EQ(hl.Window(Form1->Memo1->Handle()).background, vcl::clWindow);
    Tick();  // tried again while the chord is held
    EXPECT_EQ(Marker(), "B");
    EXPECT_EQ(hl.ClipboardText(), "b");
  });
}

TEST_F(SlotsTest, WriteThatEmptiedTheClipboardButFailedDoesNotWipeTheSlot) {
  Inside([&] {
    FillBothSlots("a", "b");
    hl.FailWrites(plat::ClipWrite::Failed, 1);
    hl.Send(Form1->Memo2->Handle(), {EventKind::Click});
    ASSERT_EQ(hl.boxes.size(), 1u);
    EXPECT_EQ(Marker(), "A");
    EXPECT_FALSE(hl.ClipboardHasText());
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "a");
    hl.SetClipboardText("later");  // somebody copies again: capture goes on
    Tick();
    EXPECT_EQ(Form1->Memo1->Text(), "later");
  });
}

TEST_F(SlotsTest, ErrorBoxPausesTheTicksInsteadOfStackingBoxes) {
  Inside([&] {
    int boxesDuring = 0;
    hl.onMessageBox = [&](const plat::BoxRecord&) {
      // The box's own loop runs ticks while it is open.
      for (int i = 0; i < 3; ++i) Tick();
      boxesDuring = static_cast<int>(hl.boxes.size());
    };
    hl.FailWrites(plat::ClipWrite::NoMemory, -1);
    Chord(true);
    Tick();
    EXPECT_EQ(boxesDuring, 1);
    hl.onMessageBox = nullptr;
  });
}

// A long random run against a small model of the two slots: copies, pictures, chords, clicks
// and another application holding the clipboard at random ticks.
TEST_F(SlotsTest, RandomRunNeverLosesASlot) {
  Inside([&] {
    std::mt19937 rng(20261211);
    auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
    const std::string pool[] = {"alpha", "beta", "ALPHA", "alpha\r\n", "",
                                "\x83\x7e\x83\x8b", std::string(5000, 'z'), "\x01\xff"};
    // The model.
    std::string slot[2] = {"", ""};
    int active = 0;
    int cooldown = 0;
    bool held = false, chord = false;
    for (int tick = 0; tick < 5000; ++tick) {
      SCOPED_TRACE("tick " + std::to_string(tick));
      if (chance(8)) {
        if (chance(85)) {
          const std::string& t = pool[rng() % std::size(pool)];
          hl.SetClipboardText(t + (chance(50) ? std::to_string(tick) : ""));
        } else {
          hl.SetClipboardNonText();
        }
      }
      if (chance(10)) held = !held;
      hl.HoldClipboard(held);
      if (chance(7)) chord = !chord;
      Chord(chord);

      // What the tick must do.
      const bool clipHasText = hl.ClipboardHasText();
      const std::string clip = clipHasText ? hl.ClipboardText().substr(0, hl.ClipboardText().find('\0'))
                                           : std::string();
      const int startActive = active;
      if (cooldown == 10) cooldown = 0;
      if (cooldown != 0) ++cooldown;
      bool switched = false;
      if (cooldown == 0 && chord && !held) {
        active = 1 - active;
        cooldown = 1;
        switched = true;
      }
      if (!held && clip != slot[startActive]) slot[active] = switched ? slot[active] : clip;

      Tick();
      ASSERT_EQ(Marker(), active ? "B" : "A");
      ASSERT_EQ(Form1->Memo1->Text(), slot[0]);
      ASSERT_EQ(Form1->Memo2->Text(), slot[1]);
      if (switched) {
        ASSERT_EQ(hl.ClipboardText(), slot[active]);
      }

      if (chance(2) && !held) {  // a click on the inactive view
        hl.Send((active ? Form1->Memo1 : Form1->Memo2)->Handle(), {EventKind::Click});
        active = 1 - active;
        ASSERT_EQ(Marker(), active ? "B" : "A");
        ASSERT_EQ(hl.ClipboardText(), slot[active]);
      }
    }
    EXPECT_TRUE(hl.boxes.empty());
  });
}

}  // namespace
