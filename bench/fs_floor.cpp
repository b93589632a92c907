// The file-system floor of extracting and filtering many small files: the
// very system calls the design needs for each extracted file, and nothing
// else (no archive, no inflating, no text). Per file: create it with the
// not-indexed attribute and write it; open, stat, read and close it as a
// nested filter does; stat it, check its attributes and unlink it as the
// removal does. run_dump.sh prints its time beside (b), so the part of the
// dump's time that no code of ours can remove shows.
//
// Usage: arcwise-fs-floor FOLDER FILES BYTES   (FOLDER must not exist)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: arcwise-fs-floor FOLDER FILES BYTES\n");
    return 2;
  }
  const std::string base = argv[1];
  const long files = std::atol(argv[2]);
  const std::vector<char> data(static_cast<size_t>(std::atol(argv[3])), 'a');
  std::vector<char> buffer(64 * 1024);
  if (mkdir(base.c_str(), 0700) != 0) {
    std::perror(base.c_str());
    return 1;
  }
  // 200 files to a folder, as the benchmark's archive holds them.
  std::vector<std::string> folders, names;
  for (long i = 0; i < files; ++i) {
    if (i % 200 == 0) {
      folders.push_back(base + "/folder" + std::to_string(i / 200));
      mkdir(folders.back().c_str(), 0700);
    }
    names.push_back(folders.back() + "/file" + std::to_string(i % 200) + ".txt");
  }
  bool failed = false;
  struct stat st;
  for (const std::string& name : names) {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    failed |= fd < 0 || fstat(fd, &st) != 0 || fsetxattr(fd, "user.DOSATTRIB", "0x2000", 6, 0) != 0 ||
              write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size());
    if (fd >= 0) close(fd);
  }
  for (const std::string& name : names) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    failed |= fd < 0 || fstat(fd, &st) != 0 || read(fd, buffer.data(), buffer.size()) < 0;
    if (fd >= 0) close(fd);
  }
  char attributes[64];
  for (const std::string& name : names) {
    failed |= lstat(name.c_str(), &st) != 0 ||
              getxattr(name.c_str(), "user.DOSATTRIB", attributes, sizeof attributes) < 0 ||
              unlink(name.c_str()) != 0;
  }
  for (const std::string& folder : folders) rmdir(folder.c_str());
  rmdir(base.c_str());
  if (failed) std::fprintf(stderr, "arcwise-fs-floor: a call failed (no user xattrs here?)\n");
  return failed ? 1 : 0;
}
