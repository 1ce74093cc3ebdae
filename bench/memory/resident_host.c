/* A host that knows nothing of the SDK until it loads libtilo.so with dlopen, so that the
 * resident memory the library adds can be read from /proc/self/status around each step:
 *
 *   tilo-resident-host LIBRARY BUNDLE CONTAINER BASE_URL IDLE_SECONDS
 *
 * prints "rss <step> <kB>" for the steps start, loaded, initialized and idle, then the
 * mappings that hold the most resident memory ("map <kB> <path>"), or "error <what>".
 *
 *   tilo-resident-host --floor BASE_URL
 *
 * does without the SDK what its start cannot do without: libcurl initialized and one GET
 * to BASE_URL, libcrypto's AES-256-GCM sealing once; it prints "rss start" and
 * "rss floor", the least any SDK built on these two libraries adds. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int (*set_path_fn)(const char*);
typedef void (*initialize_callback)(void*, const void*);
typedef int (*initialize_fn)(initialize_callback, void*);
typedef int (*run_fn)(double);

static long resident_kb(void) {
  FILE* status = fopen("/proc/self/status", "r");
  char line[256];
  long kb = -1;
  if (!status) return -1;
  while (fgets(line, sizeof line, status)) {
    if (strncmp(line, "VmRSS:", 6) == 0) kb = strtol(line + 6, NULL, 10);
  }
  fclose(status);
  return kb;
}

/* Resident kB per mapped file (anonymous memory under "[anon]"), largest first. */
static void print_mappings(int count) {
  enum { kMax = 512 };
  static char names[kMax][256];
  static long sizes[kMax];
  int used = 0;
  char line[512], current[256] = "[anon]";
  FILE* smaps = fopen("/proc/self/smaps", "r");
  if (!smaps) return;
  while (fgets(line, sizeof line, smaps)) {
    unsigned long start, end;
    char path[256] = "";
    if (sscanf(line, "%lx-%lx %*s %*s %*s %*s %255s", &start, &end, path) >= 2) {
      snprintf(current, sizeof current, "%s", path[0] ? path : "[anon]");
      continue;
    }
    long kb;
    if (sscanf(line, "Rss: %ld kB", &kb) != 1 || kb == 0) continue;
    int i = 0;
    while (i < used && strcmp(names[i], current) != 0) ++i;
    if (i == used) {
      if (used == kMax) continue;
      snprintf(names[used++], sizeof names[0], "%s", current);
      sizes[i] = 0;
    }
    sizes[i] += kb;
  }
  fclose(smaps);
  for (int shown = 0; shown < count && shown < used; ++shown) {
    int best = shown;
    for (int i = shown + 1; i < used; ++i) {
      if (sizes[i] > sizes[best]) best = i;
    }
    long size = sizes[best];
    char name[256];
    memcpy(name, names[best], sizeof name);
    sizes[best] = sizes[shown];
    memcpy(names[best], names[shown], sizeof name);
    sizes[shown] = size;
    memcpy(names[shown], name, sizeof name);
    printf("map %ld %s\n", size, name);
  }
}

typedef size_t (*write_fn)(char*, size_t, size_t, void*);
static size_t discard(char* data, size_t size, size_t count, void* user) {
  (void)data;
  (void)user;
  return size * count;
}

/* The constants are libcurl's and OpenSSL's own (CURLOPT_URL, CURLOPT_WRITEFUNCTION,
 * EVP_CTRL_GCM_GET_TAG), written out so that this host needs neither's headers. */
static int floor_of_libraries(const char* base_url) {
  printf("rss start %ld\n", resident_kb());
  void* curl = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  void* crypto = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
  if (!curl || !crypto) {
    printf("error %s\n", dlerror());
    return 1;
  }
  int (*global_init)(long) = (int (*)(long))dlsym(curl, "curl_global_init");
  void* (*easy_init)(void) = (void* (*)(void))dlsym(curl, "curl_easy_init");
  int (*setopt)(void*, int, ...) = (int (*)(void*, int, ...))dlsym(curl, "curl_easy_setopt");
  int (*perform)(void*) = (int (*)(void*))dlsym(curl, "curl_easy_perform");
  void (*cleanup)(void*) = (void (*)(void*))dlsym(curl, "curl_easy_cleanup");
  void* (*fetch)(void*, const char*, const char*) =
      (void* (*)(void*, const char*, const char*))dlsym(crypto, "EVP_CIPHER_fetch");
  void* (*ctx_new)(void) = (void* (*)(void))dlsym(crypto, "EVP_CIPHER_CTX_new");
  int (*init)(void*, const void*, void*, const unsigned char*, const unsigned char*) =
      (int (*)(void*, const void*, void*, const unsigned char*, const unsigned char*))dlsym(
          crypto, "EVP_EncryptInit_ex");
  int (*update)(void*, unsigned char*, int*, const unsigned char*, int) = (int (*)(
      void*, unsigned char*, int*, const unsigned char*, int))dlsym(crypto, "EVP_EncryptUpdate");
  int (*final)(void*, unsigned char*, int*) =
      (int (*)(void*, unsigned char*, int*))dlsym(crypto, "EVP_EncryptFinal_ex");
  int (*ctrl)(void*, int, int, void*) =
      (int (*)(void*, int, int, void*))dlsym(crypto, "EVP_CIPHER_CTX_ctrl");
  if (!global_init || !easy_init || !setopt || !perform || !cleanup || !fetch || !ctx_new ||
      !init || !update || !final || !ctrl) {
    printf("error a libcurl or libcrypto function is missing\n");
    return 1;
  }
  global_init(3 /* CURL_GLOBAL_DEFAULT */);
  void* easy = easy_init();
  setopt(easy, 10002 /* CURLOPT_URL */, base_url);
  setopt(easy, 20011 /* CURLOPT_WRITEFUNCTION */, (write_fn)discard);
  if (perform(easy) != 0) {
    printf("error the GET to %s failed\n", base_url);
    return 1;
  }
  cleanup(easy);
  unsigned char key[32] = {0}, nonce[12] = {0}, text[1024] = {0}, sealed[1024], tag[16];
  int length = 0;
  void* cipher = fetch(NULL, "AES-256-GCM", NULL);
  void* ctx = ctx_new();
  if (!cipher || !ctx || init(ctx, cipher, NULL, key, nonce) != 1 ||
      update(ctx, sealed, &length, text, (int)sizeof text) != 1 ||
      final(ctx, sealed, &length) != 1 || ctrl(ctx, 0x10 /* GCM_GET_TAG */, 16, tag) != 1) {
    printf("error AES-256-GCM failed\n");
    return 1;
  }
  printf("rss floor %ld\n", resident_kb());
  return 0;
}

static int initialized = 0;
static void on_initialized(void* context, const void* error) {
  (void)context;
  initialized = error ? -1 : 1;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--floor") == 0) return floor_of_libraries(argv[2]);
  if (argc < 6) {
    fprintf(stderr, "usage: %s LIBRARY BUNDLE CONTAINER BASE_URL IDLE_SECONDS | --floor BASE_URL\n",
            argv[0]);
    return 2;
  }
  printf("rss start %ld\n", resident_kb());
  void* library = dlopen(argv[1], RTLD_LAZY | RTLD_LOCAL);
  if (!library) {
    printf("error %s\n", dlerror());
    return 1;
  }
  printf("rss loaded %ld\n", resident_kb());
  print_mappings(12);
  set_path_fn bundle = (set_path_fn)dlsym(library, "tilo_set_bundle_directory");
  set_path_fn container = (set_path_fn)dlsym(library, "tilo_set_application_container");
  set_path_fn base_url = (set_path_fn)dlsym(library, "tilo_set_development_base_url");
  initialize_fn initialize = (initialize_fn)dlsym(library, "tilo_initialize");
  run_fn run = (run_fn)dlsym(library, "tilo_run_main_loop_for");
  if (!bundle || !container || !base_url || !initialize || !run) {
    printf("error a C function is missing\n");
    return 1;
  }
  if (bundle(argv[2]) || container(argv[3]) || base_url(argv[4]) ||
      initialize(on_initialized, NULL)) {
    printf("error a start-up call failed\n");
    return 1;
  }
  /* Up to a minute: a profiler (bench/memory/profile_startup.sh) slows the start down. */
  for (int turns = 0; turns < 2400 && initialized == 0; ++turns) run(0.025);
  if (initialized != 1) {
    printf("error the SDK did not initialize\n");
    return 1;
  }
  printf("rss initialized %ld\n", resident_kb());
  run(atof(argv[5]));
  printf("rss idle %ld\n", resident_kb());
  print_mappings(12);
  return 0;
}
