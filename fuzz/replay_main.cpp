// Replays every file of a corpus folder through a fuzz target, so that the
// normal test run keeps the inputs the fuzzer once found interesting.
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size);

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
    return 2;
  }
  DIR *dir = opendir(argv[1]);
  if (!dir) {
    perror(argv[1]);
    return 2;
  }
  int files = 0;
  while (dirent *e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::string path = std::string(argv[1]) + "/" + e->d_name;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) continue;
    std::vector<unsigned char> bytes;
    unsigned char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    files++;
  }
  closedir(dir);
  printf("%d inputs replayed\n", files);
  return files > 0 ? 0 : 1;
}
