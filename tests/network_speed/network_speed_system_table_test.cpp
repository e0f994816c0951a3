// The default NetworkSpeedService reads the real interface table and clock: bytes sent over
// loopback inside this test must show up in both rates. The bounds are wide on purpose: they
// check the wiring (table, counters, clock, units), not how fast this machine is.
#include "network_speed/network_speed_service.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/stream_capture.h"

namespace {

// Closes a socket when it goes out of scope.
struct Socket {
  explicit Socket(SOCKET handle) : s(handle) {}
  ~Socket() { closesocket(s); }
  SOCKET Get() const { return s; }
  SOCKET s;
};

// Sends `total` bytes from one loopback socket to another in this process and returns how many
// the receiving end read.
size_t TransferOverLoopback(size_t total) {
  Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  if (bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      listen(listener.Get(), 1) != 0) {
    return 0;
  }

  std::atomic<size_t> received{0};
  std::thread reader([&] {
    Socket peer(accept(listener.Get(), nullptr, nullptr));
    std::vector<char> buffer(64 * 1024);
    while (received < total) {
      const int got = recv(peer.Get(), buffer.data(), static_cast<int>(buffer.size()), 0);
      if (got <= 0) break;
      received += static_cast<size_t>(got);
    }
  });

  {
    Socket sender(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (connect(sender.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
      const std::vector<char> chunk(64 * 1024, 'x');
      size_t sent = 0;
      while (sent < total) {
        const int part = static_cast<int>(std::min(chunk.size(), total - sent));
        const int put = send(sender.Get(), chunk.data(), part, 0);
        if (put <= 0) break;
        sent += static_cast<size_t>(put);
      }
    }
  }  // closing the sender ends the reader if anything went short
  reader.join();
  return received;
}

TEST(NetworkSpeedSystemTableTest, LoopbackTransferShowsUpInDownloadAndUploadRates) {
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  StdoutCapture out;
  {
    NetworkSpeedService service;
    const DWORD beforeInit = GetTickCount();
    ASSERT_TRUE(service.Initialize());
    const DWORD afterInit = GetTickCount();

    constexpr size_t kBytes = 8u << 20;
    ASSERT_EQ(TransferOverLoopback(kBytes), kBytes);
    // A few hundred milliseconds keep the tick granularity small against the interval.
    while (GetTickCount() - afterInit < 300) Sleep(20);

    const DWORD beforeGet = GetTickCount();
    const NetworkSpeed speed = service.GetSpeed();
    const DWORD afterGet = GetTickCount();

    // The service's own interval lies between these two, give or take one clock step.
    const double shortest = (beforeGet - afterInit) / 1000.0 - 0.02;
    const double longest = (afterGet - beforeInit) / 1000.0 + 0.02;
    // Loopback counts every byte once as received and once as sent, plus headers and
    // whatever else used the machine's interfaces meanwhile (other tests may run beside this
    // one). A wrong unit (bits, milliseconds) would still land far outside.
    const double least = static_cast<double>(kBytes);
    const double most = 4.0 * static_cast<double>(kBytes);
    EXPECT_GE(speed.download * 1024.0 * longest, least) << "download " << speed.download;
    EXPECT_LE(speed.download * 1024.0 * shortest, most) << "download " << speed.download;
    EXPECT_GE(speed.upload * 1024.0 * longest, least) << "upload " << speed.upload;
    EXPECT_LE(speed.upload * 1024.0 * shortest, most) << "upload " << speed.upload;
  }
  EXPECT_EQ(out.Text(),
            "NetworkSpeedService initialized successfully\nNetworkSpeedService cleaned up\n");
  EXPECT_TRUE(out.AllFlushed());
  WSACleanup();
}

}  // namespace
