#include "export/mariadb_link.h"

#include <cstdlib>
#include <memory>

#include <mysql.h>

namespace tavrin {

namespace {
constexpr unsigned kConnectTimeoutSeconds = 10;
}  // namespace

Status testMariadbConnection(const ServerAddress& address) {
  std::unique_ptr<MYSQL, decltype(&mysql_close)> connection(mysql_init(nullptr), &mysql_close);
  if (!connection) return ioFailure("the client library cannot make a connection");
  mysql_options(connection.get(), MYSQL_OPT_CONNECT_TIMEOUT, &kConnectTimeoutSeconds);
  const unsigned port = unsigned(std::strtoul(address.port.c_str(), nullptr, 10));
  if (!mysql_real_connect(connection.get(), address.server.c_str(), address.user.c_str(), address.password.c_str(),
                          nullptr, port, address.socket.empty() ? nullptr : address.socket.c_str(), 0)) {
    return ioFailure(mysql_error(connection.get()));
  }
  return Ok{};
}

}  // namespace tavrin
