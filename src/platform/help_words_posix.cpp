#include "platform/help_words.h"

namespace qv {

const StopRequestWords& StopRequestWordsOfThisSystem() {
  static const StopRequestWords words{
      "Ctrl-C (or SIGTERM, or SIGHUP when the terminal closes)",
      "SIGQUIT (Ctrl-\\)",
      "a second Ctrl-C or SIGTERM",
  };
  return words;
}

const char* FullDocumentationSentence() {
  return "'man qvupdate' has them all, with examples.";
}

}  // namespace qv
