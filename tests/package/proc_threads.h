// The threads of this process as /proc/self/task shows them, for the package hosts.
#ifndef TILO_TESTS_PROC_THREADS_H
#define TILO_TESTS_PROC_THREADS_H

#include <dirent.h>
#include <stdio.h>
#include <string.h>

// How many threads have a name that starts with `prefix` ("" for every one), -1 when
// /proc/self/task cannot be read; with `out`, they are listed there as " tid:name".
static int count_threads(const char* prefix, char* out, size_t capacity) {
  DIR* tasks = opendir("/proc/self/task");
  struct dirent* entry;
  int count = 0;
  size_t used = 0;
  if (out) out[0] = '\0';
  if (!tasks) return -1;
  while ((entry = readdir(tasks))) {
    char path[300], name[64] = "";
    FILE* comm;
    if (entry->d_name[0] == '.') continue;
    snprintf(path, sizeof path, "/proc/self/task/%s/comm", entry->d_name);
    if ((comm = fopen(path, "r"))) {
      if (!fgets(name, sizeof name, comm)) name[0] = '\0';
      fclose(comm);
    }
    name[strcspn(name, "\n")] = '\0';
    if (strncmp(name, prefix, strlen(prefix)) != 0) continue;
    if (out && used < capacity) {
      used += (size_t)snprintf(out + used, capacity - used, " %s:%s", entry->d_name, name);
    }
    ++count;
  }
  closedir(tasks);
  return count;
}

#endif
