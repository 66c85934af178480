#include "platform/help_words.h"

namespace qv {

// Windows has no signals to send from a console: Ctrl-C and Ctrl-Break are the stops, and the
// console window closing (or the user signing out, or the system shutting down) ends the
// program a few seconds later, so it counts as two.
const StopRequestWords& StopRequestWordsOfThisSystem() {
  static const StopRequestWords words{
      "Ctrl-C (or Ctrl-Break)",
      "Closing the console window (or signing out, or shutting down)",
      "a second Ctrl-C or Ctrl-Break, or the console window closing",
  };
  return words;
}

const char* FullDocumentationSentence() {
  return "'Read me first.txt' beside the program tells how to start, with examples.";
}

}  // namespace qv
