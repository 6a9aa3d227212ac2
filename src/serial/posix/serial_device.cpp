#include "serial/posix/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace ov::posix {

int OpenSerialDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    auto fail = [fd] {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    };
    if (!::isatty(fd)) {
        errno = ENOTTY;
        return fail();
    }
    // Root ignores TIOCEXCL, so the advisory lock is what keeps a second loader out.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) errno = EBUSY;  // another program holds the line
        return fail();
    }
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) return fail();

    termios t;
    if (::tcgetattr(fd, &t) != 0) return fail();
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, B921600) != 0 || ::cfsetospeed(&t, B921600) != 0) return fail();
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return fail();

    // Pseudo-terminals have no modem lines; refusing is not an error.
    int rts = TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &rts);
    // USB-serial adapters otherwise hold every reply up to 16 ms, halving throughput.
    serial_struct serial;
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

bool IsTtyDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool tty = ::isatty(fd);
    ::close(fd);
    return tty;
}

}  // namespace ov::posix
