#include "run/settings.h"

#include <cstdlib>

namespace qz {

bool readSwitch(const char* variable, bool fallback, bool* on, std::string* complaint) {
  const char* value = std::getenv(variable);
  if (value == nullptr) {
    *on = fallback;
    return true;
  }
  std::string text = value;
  if (text != "0" && text != "1") {
    *complaint = std::string(variable) + " must be 0 (off) or 1 (on), not \"" + text + "\".";
    return false;
  }
  *on = text == "1";
  return true;
}

}  // namespace qz
