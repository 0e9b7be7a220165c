/*
 * interruption.c - output files left half-written by an interrupted program
 * are removed before it ends.
 */
#define _POSIX_C_SOURCE 200809L /* readlink, sigaction */

#include "interruption.h"

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>


/* The library builds an output file with no name where the file system
 * allows, so a killed program leaves nothing; elsewhere the file has a
 * hidden name ".NAME.XXXXXX" beside its target until it is complete. On
 * an interruption the handler removes such files this process has open
 * for writing, then lets the signal end the program as it would have.
 * Only async-signal-safe calls are made here. */
enum { MOST_DESCRIPTORS = 1024, PENDING_SUFFIX = 7 /* ".XXXXXX" */ };

static int is_pending_name(const char *path, size_t length) {
  const char *base = path + length;
  while (base > path && base[-1] != '/') --base;
  return path[0] == '/' && base[0] == '.' && (size_t)(path + length - base) > PENDING_SUFFIX + 1 &&
         path[length - PENDING_SUFFIX] == '.';
}

static void descriptor_view(int fd, char *view) {
  static const char prefix[] = "/proc/self/fd/";
  char digits[12];
  int count = 0;
  do {
    digits[count++] = (char)('0' + fd % 10);
    fd /= 10;
  } while (fd > 0);
  memcpy(view, prefix, sizeof prefix - 1);
  view += sizeof prefix - 1;
  while (count > 0) *view++ = digits[--count];
  *view = '\0';
}

static void remove_pending_outputs(void) {
  char view[32], path[4096];
  struct stat status;
  int fd;
  for (fd = 3; fd < MOST_DESCRIPTORS; ++fd) {
    const int flags = fcntl(fd, F_GETFL);
    ssize_t length;
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
      continue;
    descriptor_view(fd, view);
    length = readlink(view, path, sizeof path - 1);
    if (length <= 0 || !is_pending_name(path, (size_t)length)) continue;
    path[length] = '\0';
    unlink(path);
  }
}

static void on_interruption(int signal_number) {
  struct sigaction fatal;
  remove_pending_outputs();
  memset(&fatal, 0, sizeof fatal);
  fatal.sa_handler = SIG_DFL;
  sigaction(signal_number, &fatal, NULL);
  raise(signal_number);
}

/* A signal the caller chose to ignore (nohup) stays ignored. */
void remove_pending_outputs_on_interruption(void) {
  static const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction handler, previous;
  size_t s;
  memset(&handler, 0, sizeof handler);
  handler.sa_handler = on_interruption;
  sigemptyset(&handler.sa_mask);
  for (s = 0; s < sizeof signals / sizeof signals[0]; ++s)
    if (sigaction(signals[s], NULL, &previous) == 0 && previous.sa_handler != SIG_IGN)
      sigaction(signals[s], &handler, NULL);
}
