// Where a redirect leads, for a client that follows redirects itself.
#pragma once

#include <string>

namespace qz {

// The absolute URL that a Location header leads to from url (an absolute
// http or https URL): absolute, scheme-relative, host-relative or relative.
// Empty for a Location of any scheme but http and https, which is never
// followed.
std::string resolveLocation(const std::string& url, const std::string& location);

}  // namespace qz
