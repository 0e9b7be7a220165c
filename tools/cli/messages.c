/*
 * messages.c - the program's message handler and progress line.
 */
#define _POSIX_C_SOURCE 200809L /* fileno */

#include "messages.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "zel.h"

enum { PROGRESS_WIDTH = 100 };

static struct {
  enum Verbosity verbosity;
  const char *command;
  int progress_allowed; /* standard error is a terminal */
  int progress_open;    /* a progress line is on screen, without its line feed */
  size_t progress_length;
  int collecting;
  char *kept;       /* the errors kept since the collection started, each ending in a line feed */
  size_t kept_size; /* bytes in kept, its terminator left out */
} state = {VERBOSITY_NORMAL, "", 0, 0, 0, 0, NULL, 0};

void set_verbosity(enum Verbosity level) { state.verbosity = level; }
enum Verbosity verbosity(void) { return state.verbosity; }

int take_message_option(const char *arg) {
  if (strcmp(arg, "-q") == 0 || strcmp(arg, "--quiet") == 0)
    set_verbosity(VERBOSITY_QUIET);
  else if (strcmp(arg, "-v") == 0)
    set_verbosity(VERBOSITY_VERBOSE);
  else
    return 0;
  return 1;
}

void show_progress(const char *line) {
  size_t length;
  if (!state.progress_allowed) return;
  length = strlen(line);
  if (length > PROGRESS_WIDTH) length = PROGRESS_WIDTH;
  /* Blanks wipe what a longer previous line left. */
  fprintf(stderr, "\r%.*s%*s", (int)length, line,
          state.progress_length > length ? (int)(state.progress_length - length) : 0, "");
  fflush(stderr);
  state.progress_open = 1;
  state.progress_length = length;
}

void end_progress(void) {
  if (!state.progress_open) return;
  fputc('\n', stderr);
  fflush(stderr);
  state.progress_open = 0;
  state.progress_length = 0;
}

static void print_message(const char *prefix, const char *line) {
  end_progress();
  fflush(stdout); /* a report line printed before the message stays before it */
  fprintf(stderr, "%s%s\n", prefix, line);
}

/* An error that cannot be kept for want of memory is printed at once. */
static void keep_error(const char *line) {
  const size_t length = strlen(line);
  char *grown = realloc(state.kept, state.kept_size + length + 2);
  if (grown == NULL) {
    print_message("ERROR:  ", line);
    return;
  }
  memcpy(grown + state.kept_size, line, length);
  grown[state.kept_size + length] = '\n';
  grown[state.kept_size + length + 1] = '\0';
  state.kept = grown;
  state.kept_size += length + 1;
}

/* The library cuts a text ending in a line feed into a last, empty line:
 * nothing a reader of the program's messages needs to see. */
static void on_library_message(int kind, const char *line, void *context) {
  char progress[PROGRESS_WIDTH + 32];
  (void)context;
  if (kind != ZEL_MESSAGE_PROGRESS && line[0] == '\0') return;
  switch (kind) {
    case ZEL_MESSAGE_ERROR:
      if (state.collecting)
        keep_error(line);
      else
        print_message("ERROR:  ", line);
      break;
    case ZEL_MESSAGE_WARNING:
      if (state.verbosity != VERBOSITY_QUIET) print_message("WARNING:  ", line);
      break;
    case ZEL_MESSAGE_INFO:
      if (state.verbosity == VERBOSITY_VERBOSE) print_message("", line);
      break;
    default:
      snprintf(progress, sizeof progress, "zel %s: %s", state.command, line);
      show_progress(progress);
  }
}

void start_collecting_errors(void) {
  state.collecting = 1;
  state.kept_size = 0;
  if (state.kept != NULL) state.kept[0] = '\0';
}

const char *stop_collecting_errors(void) {
  state.collecting = 0;
  return state.kept != NULL ? state.kept : "";
}

void print_kept_errors(void) {
  const char *line = state.kept, *end;
  if (line == NULL) return;
  for (; (end = strchr(line, '\n')) != NULL; line = end + 1) {
    end_progress();
    fprintf(stderr, "ERROR:  %.*s\n", (int)(end - line), line);
  }
}

void route_messages(const char *command) {
  state.command = command;
  state.progress_allowed = isatty(fileno(stderr));
  ZEL_SetMessageHandler(on_library_message, NULL);
  atexit(end_progress);
}
