#include "runner/ServerProfiles.h"

namespace znx {

// Placeholder until the registry layer lands: no profile is available.
bool LoadServerProfile(int /*Kind*/, TSrvOptions& Profile) {
    Profile = TSrvOptions{};
    return false;
}

} // namespace znx
