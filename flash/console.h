// Portable side: what the user or a calling program sees of the programmer outside the
// programming steps: messages, the usage text, the two prompts and the "NOT updated" ending.
#pragma once

#include "settings.h"

namespace flash {

// printf-style message on standard output. Standard output is flushed after every message, so
// a caller that reads it through a pipe holds everything printed so far, whatever happens next.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void print_message(const char* format, ...);

// One progress mark "#", flushed like every message; without formatting, as it comes once per
// 64 requests.
void print_progress_mark();

// The banner that starts every run.
void print_banner();
// The usage text, then (unless unattended) "Press any key to quit." and a key wait.
void print_usage();
// The refusal of a file name that does not fit.
void print_path_too_long();

// One key press from the console, without echo and Enter. Without a console the key is the next
// character of standard input, and EOF when that is absent or at its end: no caller can wait
// for a person who is not there.
int read_key();
// One character from standard input; returns at once when it is absent or at its end.
int wait_for_return();

// Asks before programming where the EAN or the options call for it: true when programming may
// go on, false when the user declined (the program flow then ends the run).
bool confirm_programming(ean_words card_ean, ean_words image_ean);

// "\nThe firmware was NOT updated.\n", then, unless unattended, "Press RETURN to quit.\n" and the
// RETURN wait; returns code, the exit code of the run it ends.
int end_not_updated(int code);

} // namespace flash
