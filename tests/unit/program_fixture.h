// Runs the whole program as one process on the headless platform.
//
// The run loop calls WaitMessage whenever the queue is empty; that is where a test's steps run,
// in order: a step that leaves messages in the queue lets the loop handle them before the next
// step runs. After the last step the fixture closes the main window, so every run ends.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>

#include "Unit1.h"
#include "Unit2.h"
#include "app/QuintorbMain.h"
#include "platform/headless/headless.h"

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::SetCurrent(&hl);
    ResetProcessState();
  }
  void TearDown() override {
    ResetProcessState();
    plat::SetCurrent(nullptr);
  }

  // Runs a process with the given steps; returns its exit status (or the status it exited with
  // through ExitProcess).
  int Run(std::deque<std::function<void()>> steps = {}) {
    waits = 0;
    hl.onWait = [this, steps]() mutable {
      ++waits;
      while (!steps.empty() && hl.QueueLength() == 0) {
        auto step = std::move(steps.front());
        steps.pop_front();
        step();
      }
      if (hl.QueueLength() > 0) return;
      if (vcl::Application->Terminated()) {
        // A step ran the messages itself and took the quit request: wake the loop so it ends.
        hl.PostUserMessage(vcl::Application->Handle(), 0x7FFF, 0, 0);
        return;
      }
      if (!closing && Form1) {
        closing = true;
        hl.Post(Form1->Handle(), {plat::EventKind::Close});
      }
    };
    closing = false;
    try {
      return RunProcess();
    } catch (const plat::ProcessExit& e) {
      ResetProcessState();
      return e.status;
    }
  }

  // Handle of the first window of a class (alive or not), 0 if none.
  plat::Handle WindowOfClass(const std::string& cls) const {
    for (plat::Handle h : hl.Windows())
      if (hl.Window(h).spec.className == cls) return h;
    return 0;
  }

  // Runs the ticks and messages that `ms` of virtual time bring.
  void Pass(std::uint64_t ms) {
    hl.Advance(ms);
    vcl::Application->ProcessMessages();
  }

  plat::HeadlessPlatform hl;
  int waits = 0;
  bool closing = false;
};
