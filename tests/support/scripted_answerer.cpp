#include "tests/support/scripted_answerer.h"

#include <gtest/gtest.h>

ScriptedAnswerer::ScriptedAnswerer() : answerer_{Answer, this}, previous_(InstallAnswerer(&answerer_)) {}

ScriptedAnswerer::~ScriptedAnswerer() {
  InstallAnswerer(previous_);
  for (size_t i = next_; i < script_.size(); i++) ADD_FAILURE() << "expected question never asked: " << script_[i].text;
}

ScriptedAnswerer &ScriptedAnswerer::Expect(const std::string &text, AskKind kind, int answer) {
  script_.push_back({text, kind, answer});
  return *this;
}

ScriptedAnswerer &ScriptedAnswerer::Allow(const std::string &text, AskKind kind, int answer) {
  allowed_.push_back({text, kind, answer});
  return *this;
}

int ScriptedAnswerer::Answer(void *context, WindowRef, const char *text, AskKind kind) {
  ScriptedAnswerer *self = static_cast<ScriptedAnswerer *>(context);
  self->asked_.push_back({text, kind});
  if (self->next_ < self->script_.size() && self->script_[self->next_].text == text &&
      self->script_[self->next_].kind == kind) {
    return self->script_[self->next_++].answer;
  }
  for (const Step &step : self->allowed_)
    if (step.text == text && step.kind == kind) return step.answer;
  ADD_FAILURE() << "unexpected question (kind " << kind << "): " << text;
  return kind == kAskYesNo ? kAnswerNo : kind == kAskYesNoCancel ? kAnswerCancel : kAnswerOk;
}
