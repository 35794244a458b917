// spaeher: LD_PRELOAD library for bench/schritte that notes when the program under test wakes from
// poll() and when recv() hands it data, in real time, so that the client's lag behind the kernel's
// arrival splits into the wake-up and what follows it.
// Lines "poll <ns>" and "recv <fd> <bytes> <ns>" go to the file SPAEHER_PROTOKOLL when the program
// ends, by exit() or by _exit(), which the headless program takes; until then they stay in memory,
// since a write between the wake-up and the read would add to the very lag that is measured.
// SPDX-License-Identifier: MIT
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

enum { hoechstens = 4096 };
static struct {
  char art;
  int fd;
  long bytes;
  int64_t ns;
} eintraege[hoechstens];
static int anzahl;

// The real clock straight from the kernel: the clock interposer, loaded beside this, moves the one
// the C library reads once the program has written it.
static int64_t echt_ns(void) {
  struct timespec t;
  syscall(SYS_clock_gettime, CLOCK_REALTIME, &t);
  return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static void merken(char art, int fd, long bytes) {
  if (anzahl < hoechstens) eintraege[anzahl++] = (typeof(eintraege[0])){art, fd, bytes, echt_ns()};
}

int poll(struct pollfd* fds, nfds_t n, int ms) {
  static int (*echt)(struct pollfd*, nfds_t, int);
  if (!echt) echt = (int (*)(struct pollfd*, nfds_t, int))dlsym(RTLD_NEXT, "poll");
  const int r = echt(fds, n, ms);
  if (r > 0) merken('p', -1, r);
  return r;
}

ssize_t recv(int fd, void* puffer, size_t laenge, int flags) {
  static ssize_t (*echt)(int, void*, size_t, int);
  if (!echt) echt = (ssize_t (*)(int, void*, size_t, int))dlsym(RTLD_NEXT, "recv");
  const ssize_t r = echt(fd, puffer, laenge, flags);
  if (r > 0 && !(flags & MSG_PEEK)) merken('r', fd, (long)r);
  return r;
}

__attribute__((destructor)) static void schreiben(void) {
  const char* datei = getenv("SPAEHER_PROTOKOLL");
  if (!datei || !anzahl) return;
  const int geschrieben = anzahl;
  anzahl = 0;
  FILE* f = fopen(datei, "a");
  if (!f) return;
  for (int i = 0; i < geschrieben; ++i) {
    const int64_t ns = eintraege[i].ns;
    if (eintraege[i].art == 'p')
      fprintf(f, "poll %lld.%09lld\n", (long long)(ns / 1000000000), (long long)(ns % 1000000000));
    else
      fprintf(f, "recv %d %ld %lld.%09lld\n", eintraege[i].fd, eintraege[i].bytes, (long long)(ns / 1000000000),
              (long long)(ns % 1000000000));
  }
  fclose(f);
}

void _exit(int status) {
  schreiben();
  syscall(SYS_exit_group, status);
  __builtin_unreachable();
}
