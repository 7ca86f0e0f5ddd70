#include "platform/StandardDescriptors.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace sx::platform
{

void openMissingStandardDescriptors() noexcept
{
    for (int fd = 0; fd <= 2; ++fd)
    {
        if (::fcntl (fd, F_GETFD) != -1 || errno != EBADF)
            continue;

        // open() takes the lowest free descriptor, which is this one.
        const auto opened = ::open ("/dev/null", O_RDWR);

        if (opened > 2)
            ::close (opened);
    }
}

} // namespace sx::platform
