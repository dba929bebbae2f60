#include "fake_i2c_bus.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cstdarg>
#include <map>
#include <mutex>

namespace vx::testing {

namespace {

struct OpenFile {
  FakeI2cNode* node;
  int address7 = -1;
  bool pec = false;
};

// Never destroyed: close() may still be called while static objects are torn down.
std::mutex& Lock() {
  static auto* m = new std::mutex;
  return *m;
}
std::map<std::string, FakeI2cNode*>& Nodes() {
  static auto* n = new std::map<std::string, FakeI2cNode*>;
  return *n;
}
std::map<int, OpenFile>& Files() {
  static auto* f = new std::map<int, OpenFile>;
  return *f;
}

int ErrnoFromStatus(Status s) {
  static const std::map<Status, int> kErrno = {{0, 0},          {772, ENXIO}, {94, EBUSY},
                                               {92, ETIMEDOUT}, {3, EBADMSG}, {5, EPROTO}};
  auto e = kErrno.find(s);
  return e == kErrno.end() ? EIO : e->second;
}

template <typename Fn>
Fn Real(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

int Fail(int err) {
  errno = err;
  return -1;
}

// One I2C_SMBUS transaction against the device behind the node.
int Smbus(OpenFile& f, const i2c_smbus_ioctl_data& io) {
  FakeI2cNode& n = *f.node;
  SMBusAdapter& d = *n.device;
  auto addr8 = static_cast<std::int16_t>(f.address7 << 1);
  FakeI2cNode::Transaction t{
      f.address7, io.read_write == I2C_SMBUS_READ, io.command, static_cast<int>(io.size), {}, -1,
      0};
  std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(f.address7 << 1), io.command};
  Status s = 0;
  if (n.next_errno != 0) {
    t.error = n.next_errno;
    n.next_errno = 0;
    n.log.push_back(t);
    return Fail(t.error);
  }
  switch (io.size) {
    case I2C_SMBUS_BYTE:  // send byte: the "command" is the byte
      if (io.read_write != I2C_SMBUS_WRITE) return Fail(EOPNOTSUPP);
      s = d.WriteSMBusCommand(io.command, addr8);
      break;
    case I2C_SMBUS_WORD_DATA:
      if (!io.data) return Fail(EFAULT);
      if (io.read_write == I2C_SMBUS_READ) {
        std::int16_t v = 0;
        s = d.ReadSMBusWord_(io.command, v, addr8);
        io.data->word = static_cast<__u16>(v);
        frame.push_back(static_cast<std::uint8_t>((f.address7 << 1) | 1));
      } else {
        s = d.WriteSMBusWord_(io.command, static_cast<std::int16_t>(io.data->word), addr8);
      }
      t.wire = {static_cast<std::uint8_t>(io.data->word & 0xFF),
                static_cast<std::uint8_t>(io.data->word >> 8)};  // low byte first
      break;
    case I2C_SMBUS_BLOCK_DATA: {
      if (!io.data) return Fail(EFAULT);
      std::uint8_t buf[I2C_SMBUS_BLOCK_MAX + 2] = {};
      if (io.read_write == I2C_SMBUS_READ) {
        std::int16_t len = I2C_SMBUS_BLOCK_MAX;
        s = d.ReadSMBusBlock_(io.command, std::span<std::uint8_t>(buf, sizeof buf), len, addr8);
        if (s == 0 && (len < 0 || len > I2C_SMBUS_BLOCK_MAX)) s = 5;
        if (s == 0) {
          io.data->block[0] = static_cast<__u8>(len);
          for (int i = 0; i < len; ++i)
            io.data->block[i + 1] = buf[i];
        }
        frame.push_back(static_cast<std::uint8_t>((f.address7 << 1) | 1));
      } else {
        int len = io.data->block[0];
        if (len < 1 || len > I2C_SMBUS_BLOCK_MAX) return Fail(EINVAL);
        for (int i = 0; i < len; ++i)
          buf[i] = io.data->block[i + 1];
        s = d.WriteSMBusBlock(io.command, std::span<const std::uint8_t>(buf, sizeof buf),
                              static_cast<std::int16_t>(len), addr8);
      }
      if (s == 0) {
        for (int i = 0; i <= io.data->block[0]; ++i)
          t.wire.push_back(io.data->block[i]);
      }
      break;
    }
    default:
      return Fail(EOPNOTSUPP);
  }
  t.error = ErrnoFromStatus(s);
  if (t.error == 0 && f.pec) {
    frame.insert(frame.end(), t.wire.begin(), t.wire.end());
    t.pec = SmbusPec(frame);
    if (n.corrupt_next_pec) {
      n.corrupt_next_pec = false;
      t.error = EBADMSG;  // the kernel compares the PEC byte it computed with the one received
    }
  }
  n.log.push_back(t);
  return t.error ? Fail(t.error) : 0;
}

}  // namespace

std::uint8_t SmbusPec(const std::vector<std::uint8_t>& bytes) {
  std::uint8_t crc = 0;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) {
      crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
  }
  return crc;
}

void InstallFakeI2c(const std::string& path, FakeI2cNode* node) {
  std::lock_guard<std::mutex> g(Lock());
  Nodes()[path] = node;
}

void RemoveFakeI2c(const std::string& path) {
  std::lock_guard<std::mutex> g(Lock());
  Nodes().erase(path);
}

}  // namespace vx::testing

using vx::testing::FakeI2cNode;

namespace {

int OpenImpl(const char* path, int flags, mode_t mode, const char* real_name) {
  FakeI2cNode* node = nullptr;
  {
    std::lock_guard<std::mutex> g(vx::testing::Lock());
    auto it = vx::testing::Nodes().find(path ? path : "");
    if (it != vx::testing::Nodes().end()) node = it->second;
  }
  using OpenFn = int (*)(const char*, int, ...);
  static OpenFn real = vx::testing::Real<OpenFn>(real_name);
  if (!node) return real(path, flags, mode);
  if (node->open_errno) return vx::testing::Fail(node->open_errno);
  int fd = real("/dev/null", O_RDWR | O_CLOEXEC, 0);  // reserves a descriptor number
  if (fd < 0) return fd;
  std::lock_guard<std::mutex> g(vx::testing::Lock());
  vx::testing::Files()[fd] = {node};
  return fd;
}

}  // namespace

#define VX_FAKE_OPEN(name)                                                                       \
  extern "C" __attribute__((visibility("default"))) int name(const char* path, int flags, ...) { \
    mode_t mode = 0;                                                                             \
    if (flags & O_CREAT) {                                                                       \
      va_list ap;                                                                                \
      va_start(ap, flags);                                                                       \
      mode = static_cast<mode_t>(va_arg(ap, int));                                               \
      va_end(ap);                                                                                \
    }                                                                                            \
    return OpenImpl(path, flags, mode, #name);                                                   \
  }
VX_FAKE_OPEN(open)
VX_FAKE_OPEN(open64)

extern "C" __attribute__((visibility("default"))) int close(int fd) {
  {
    std::lock_guard<std::mutex> g(vx::testing::Lock());
    vx::testing::Files().erase(fd);
  }
  using CloseFn = int (*)(int);
  static CloseFn real = vx::testing::Real<CloseFn>("close");
  return real(fd);
}

extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  vx::testing::OpenFile* f = nullptr;
  {
    std::lock_guard<std::mutex> g(vx::testing::Lock());
    auto it = vx::testing::Files().find(fd);
    if (it != vx::testing::Files().end()) f = &it->second;
  }
  if (!f) {
    using IoctlFn = int (*)(int, unsigned long, ...);
    static IoctlFn real = vx::testing::Real<IoctlFn>("ioctl");
    return real(fd, request, arg);
  }
  switch (request) {
    case I2C_FUNCS:
      *static_cast<unsigned long*>(arg) = f->node->funcs;
      return 0;
    case I2C_SLAVE:
    case I2C_SLAVE_FORCE: {
      auto a = reinterpret_cast<unsigned long>(arg);
      if (a > 0x7F) return vx::testing::Fail(EINVAL);
      if (f->node->slave_errno) return vx::testing::Fail(f->node->slave_errno);
      f->address7 = static_cast<int>(a);
      return 0;
    }
    case I2C_PEC:
      f->pec = reinterpret_cast<unsigned long>(arg) != 0;
      return 0;
    case I2C_SMBUS:
      if (f->address7 < 0) return vx::testing::Fail(EINVAL);
      return vx::testing::Smbus(*f, *static_cast<i2c_smbus_ioctl_data*>(arg));
    default:
      return vx::testing::Fail(ENOTTY);
  }
}
