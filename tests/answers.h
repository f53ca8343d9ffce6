// The four answers Quorvane can give, and the argument vectors that must draw each one.
// Shared by the in-process and end-to-end tests, and the stand-in.
#ifndef QUORVANE_TESTS_ANSWERS_H_
#define QUORVANE_TESTS_ANSWERS_H_

#include <string>
#include <vector>

enum class Answer { kUsage, kIncorrect, kTooMany, kBroadcast };

inline const char kUsageText[] =
    "\nQuorvane makes a WM_SETTINGCHANGE message for Environment broadcast so that running "
    "applications update environment settings\n"
    "\nQuorvane.exe /broadcast\n"
    "/broadcast  : initiates the broadcast\n";
inline const char kProgressLine[] =
    "\nMaking WM_SETTINGCHANGE message for Environment broadcast...\n";
inline const char kCompletionLine[] = "WM_SETTINGCHANGE message for Environment was broadcast\n";

// Standard output for an answer, with '\n' line ends.
inline std::string text(Answer answer) {
  switch (answer) {
    case Answer::kUsage:
      return kUsageText;
    case Answer::kIncorrect:
      return std::string("\nIncorrect parameter was passed\n\n\n") + kUsageText;
    case Answer::kTooMany:
      return std::string("\nToo many parameters were passed\n\n\n") + kUsageText;
    case Answer::kBroadcast:
      return std::string(kProgressLine) + kCompletionLine;
  }
  return {};
}

// Standard error after a failed broadcast, for the platform's last-error code.
inline std::string failure_text(const std::string& error) {
  return "WM_SETTINGCHANGE message for Environment could not be broadcast (error " + error +
         ")\n";
}

inline int exit_status(Answer answer) {
  return answer == Answer::kIncorrect || answer == Answer::kTooMany ? 2 : 0;
}

struct Case {
  std::vector<std::string> args;  // after the program's name
  Answer answer;
};

inline std::vector<Case> cases() {
  const Answer usage = Answer::kUsage, incorrect = Answer::kIncorrect,
               too_many = Answer::kTooMany, broadcast = Answer::kBroadcast;
  return {
      {{}, usage},
      {{"/help"}, usage},
      {{"help"}, usage},
      {{"-help"}, usage},
      {{"/?"}, usage},
      {{"-?"}, usage},
      {{"HELP"}, usage},
      {{"/Help"}, usage},
      {{"-HELP"}, usage},
      {{"hElP"}, usage},

      {{"/broadcast"}, broadcast},
      {{"/BROADCAST"}, broadcast},
      {{"/Broadcast"}, broadcast},
      {{"/bRoAdCaSt"}, broadcast},

      // Near misses: only the whole "/broadcast" or a help option counts.
      {{"broadcast"}, incorrect},
      {{"-broadcast"}, incorrect},
      {{"/broadcast:now"}, incorrect},
      {{"/broadcas"}, incorrect},
      {{"/broadcastt"}, incorrect},
      {{" /broadcast"}, incorrect},
      {{"/broadcast "}, incorrect},
      {{"?"}, incorrect},
      {{"/h"}, incorrect},
      {{"--help"}, incorrect},
      {{"/help/"}, incorrect},
      {{""}, incorrect},
      {{"%s%n%s%n"}, incorrect},
      {{std::string(30000, 'b')}, incorrect},
      {{"/broadcast" + std::string(20000, 't')}, incorrect},

      // Only A to Z fold: long s (U+017F), which Unicode folds to 's', and other
      // non-ASCII bytes never match.
      {{"/broadca\xc5\xbft"}, incorrect},
      {{"/BROADCA\xc5\xbfT"}, incorrect},
      {{"/broadcast\xa0"}, incorrect},
      {{"\xef\xbc\x8f" "broadcast"}, incorrect},
      {{"/hel\xd1\x80"}, incorrect},

      {{"/broadcast", "/broadcast"}, too_many},
      {{"/help", "extra"}, too_many},
      {{"/broadcast", ""}, too_many},
      {{"", ""}, too_many},
      {{"a", "b", "c"}, too_many},
      {{"/broadcast", "/help", "/broadcast"}, too_many},
  };
}

// A readable test name for a case.
inline std::string label(const Case& c) {
  std::string name = c.args.empty() ? "(none)" : "";
  for (const std::string& arg : c.args)
    name += (name.empty() ? "" : " ") +
            (arg.size() > 40 ? "[" + std::to_string(arg.size()) + " chars]" : '"' + arg + '"');
  return name;
}

#endif  // QUORVANE_TESTS_ANSWERS_H_
