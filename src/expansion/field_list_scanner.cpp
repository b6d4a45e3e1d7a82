#include "expansion/field_list_scanner.h"

#include "common/text.h"

namespace qds {

namespace {

enum class State : int { Start, Unquoted, InDouble, AfterDouble, InSingle, AfterSingle, Trailing };
enum class Input : int { Separator, DoubleQuote, SingleQuote, End, White, Other };

enum class Action : int {
  Take,       // the unit belongs to the field
  TakeWhite,  // as Take; a run of white space may end the field and is then cut
  TakeOther,  // as Take; the field goes on, so no white-space run ends it yet
  Drop,
  EndField,
  Finish,
  Invalid,
};

struct Step {
  State next;
  Action action;
};

constexpr int kStates = 7;
constexpr int kInputs = 6;

// Rows in the order of State, columns in the order of Input.
constexpr Step kSteps[kStates][kInputs] = {
    // Start: before a field's first unit.
    {{State::Start, Action::EndField},
     {State::InDouble, Action::Drop},
     {State::InSingle, Action::Drop},
     {State::Start, Action::Finish},
     {State::Start, Action::Drop},
     {State::Unquoted, Action::TakeOther}},
    // Unquoted: in a bare field.
    {{State::Start, Action::EndField},
     {State::Unquoted, Action::Take},
     {State::Unquoted, Action::Take},
     {State::Unquoted, Action::Finish},
     {State::Unquoted, Action::TakeWhite},
     {State::Unquoted, Action::TakeOther}},
    // InDouble: inside double quotes.
    {{State::InDouble, Action::Take},
     {State::AfterDouble, Action::Drop},
     {State::InDouble, Action::Take},
     {State::InDouble, Action::Invalid},
     {State::InDouble, Action::Take},
     {State::InDouble, Action::Take}},
    // AfterDouble: just after a closing double quote.
    {{State::Start, Action::EndField},
     {State::InDouble, Action::Take},
     {State::AfterDouble, Action::Invalid},
     {State::AfterDouble, Action::Finish},
     {State::Trailing, Action::Drop},
     {State::AfterDouble, Action::Invalid}},
    // InSingle: inside single quotes.
    {{State::InSingle, Action::Take},
     {State::InSingle, Action::Take},
     {State::AfterSingle, Action::Drop},
     {State::InSingle, Action::Invalid},
     {State::InSingle, Action::Take},
     {State::InSingle, Action::Take}},
    // AfterSingle: just after a closing single quote.
    {{State::Start, Action::EndField},
     {State::AfterSingle, Action::Invalid},
     {State::InSingle, Action::Take},
     {State::AfterSingle, Action::Finish},
     {State::Trailing, Action::Drop},
     {State::AfterSingle, Action::Invalid}},
    // Trailing: white space after a closing quote.
    {{State::Start, Action::EndField},
     {State::Trailing, Action::Invalid},
     {State::Trailing, Action::Invalid},
     {State::Trailing, Action::Finish},
     {State::Trailing, Action::Drop},
     {State::Trailing, Action::Invalid}},
};

// Inside and just after quotes, the state's own quote is tested before the
// separator, so that a doubled quote wins over a quote used as separator;
// elsewhere the separator wins over every other reading of the unit.
Input Classify(State state, char16_t c, std::optional<char16_t> separator) {
  if ((state == State::InDouble || state == State::AfterDouble) && c == u'"')
    return Input::DoubleQuote;
  if ((state == State::InSingle || state == State::AfterSingle) && c == u'\'')
    return Input::SingleQuote;
  if (separator && c == *separator) return Input::Separator;
  if (c == u'"') return Input::DoubleQuote;
  if (c == u'\'') return Input::SingleQuote;
  if (IsFieldSpace(c)) return Input::White;
  return Input::Other;
}

}  // namespace

bool IsFieldSpace(char16_t c) {
  if (c <= 0x00FF) return (c >= 0x09 && c <= 0x0D) || c == 0x20;
  return IsWhiteSpace(c);
}

bool FieldListScanner::Scan(std::u16string_view value, std::optional<char16_t> separator) {
  constexpr size_t kNoRun = std::u16string::npos;
  text_.clear();
  text_.reserve(value.size());
  fields_.clear();
  State state = State::Start;
  size_t fieldStart = 0;
  size_t whiteRun = kNoRun;  // where a bare field's trailing white space began
  for (size_t i = 0;; ++i) {
    bool atEnd = i == value.size();
    char16_t c = atEnd ? u'\0' : value[i];
    Input input = atEnd ? Input::End : Classify(state, c, separator);
    const Step& step = kSteps[static_cast<int>(state)][static_cast<int>(input)];
    switch (step.action) {
      case Action::TakeWhite:
        if (whiteRun == kNoRun) whiteRun = text_.size();
        text_.push_back(c);
        break;
      case Action::TakeOther:
        whiteRun = kNoRun;
        text_.push_back(c);
        break;
      case Action::Take:
        text_.push_back(c);
        break;
      case Action::Drop:
        break;
      case Action::EndField:
      case Action::Finish:
        if (whiteRun != kNoRun) text_.resize(whiteRun);
        whiteRun = kNoRun;
        fields_.push_back({fieldStart, text_.size() - fieldStart});
        fieldStart = text_.size();
        if (step.action == Action::Finish) return true;
        break;
      case Action::Invalid:
        text_.clear();
        fields_.clear();
        return false;
    }
    state = step.next;
  }
}

}  // namespace qds
