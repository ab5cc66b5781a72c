// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
#pragma once

#include <string>
#include <vector>

namespace qztest {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
// Every file and folder below root, as paths relative to it, sorted; folders end in "/".
std::vector<std::string> listTree(const std::string& root);

}  // namespace qztest
