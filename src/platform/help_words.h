#pragma once

// The words a program's help uses for what differs between the systems: how a user asks a
// running program to stop, and where the rest of the documentation is.

namespace qv {

struct StopRequestWords {
  // One stop: "Ctrl-C (or SIGTERM, ...)".
  const char* one_stop;
  // What counts as two stops at once, at the start of a sentence.
  const char* two_stops;
  // What ended a run with the abort's exit status: "a second Ctrl-C or ...".
  const char* abort;
};

// This system's ways of stopping a program, as console.h catches them.
[[nodiscard]] const StopRequestWords& StopRequestWordsOfThisSystem();

// Where the whole documentation of qvupdate is, as a sentence.
[[nodiscard]] const char* FullDocumentationSentence();

}  // namespace qv
