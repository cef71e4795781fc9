#pragma once
// A save dialog that answers from a script instead of asking anyone, for tests.

#include <deque>
#include <vector>

#include "screenshot/SaveDialog.h"

namespace orvanth::screenshot {

class TScriptedSaveDialog : public ISaveDialog {
 public:
  // One entry per Execute: a full path confirms it, nothing cancels. An empty script
  // cancels.
  std::deque<std::optional<QString>> Answers;
  // What each Execute showed, in order.
  std::vector<TRequest> Requests;

 protected:
  std::optional<TAnswer> Run(const TRequest& request) override {
    Requests.push_back(request);
    if (Answers.empty()) return std::nullopt;
    const std::optional<QString> answer = Answers.front();
    Answers.pop_front();
    if (!answer) return std::nullopt;
    return TAnswer{*answer, request.SelectedFilter};
  }
};

}  // namespace orvanth::screenshot
