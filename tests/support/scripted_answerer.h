// Answers the program's questions from a script. Installed for the lifetime of
// the object (the previous answerer comes back afterwards). A question that is
// not the next one expected fails the test and gets the answer that changes
// nothing; expected questions never asked fail the test at destruction.
#pragma once

#include <string>
#include <vector>

#include "foundation/ask_user.h"

class ScriptedAnswerer {
 public:
  struct Question {
    std::string text;
    AskKind kind;
  };

  ScriptedAnswerer();
  ~ScriptedAnswerer();
  ScriptedAnswerer(const ScriptedAnswerer &) = delete;
  ScriptedAnswerer &operator=(const ScriptedAnswerer &) = delete;

  // The next question must be exactly `text` of `kind`; it gets `answer`.
  ScriptedAnswerer &Expect(const std::string &text, AskKind kind, int answer);
  // This question may come any number of times, between the expected ones.
  ScriptedAnswerer &Allow(const std::string &text, AskKind kind, int answer);
  // Every question asked so far, expected or not.
  const std::vector<Question> &asked() const { return asked_; }

 private:
  static int Answer(void *context, WindowRef owner, const char *text, AskKind kind);
  struct Step {
    std::string text;
    AskKind kind;
    int answer;
  };
  Answerer answerer_;
  const Answerer *previous_;
  std::vector<Step> script_;
  std::vector<Step> allowed_;
  size_t next_ = 0;
  std::vector<Question> asked_;
};
