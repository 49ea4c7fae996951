// Whether a symlink the archive asks for would lead outside the destination, judged against
// what is really on disk below it: a target that reads as inside may pass through a link that
// is already there (the user's own, to a folder elsewhere), and then anything written or read
// through the new link lands outside.
#ifndef DIZOR_LIBS_ENGINE_LINK_CHECK_H_
#define DIZOR_LIBS_ENGINE_LINK_CHECK_H_

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Resolves `target` from the folder `link_parent` (parts below the destination, whose
// descriptor is `root_fd`) as the kernel would, following every link that exists on the way
// (at most 40), and answers whether it stays inside the destination. Parts that do not exist
// yet are taken as plain folders: a link made there later is checked when it is made.
bool LinkResolvesInside(int root_fd, const std::vector<std::string>& link_parent,
                        std::string_view target);

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_LINK_CHECK_H_
