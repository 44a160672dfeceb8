#pragma once
// Where recovered objects are saved when they go into a server, and the one
// operation the tool needs of a client library to test that it can.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "export/statement_target.h"

namespace tavrin {

struct ServerAddress {
  std::string server;    // host name or address; "localhost" goes through the socket
  std::string port;      // as typed; a number from 1 to 65535
  std::string socket;    // a Unix socket path, or empty for the client library's default
  std::string user;
  std::string password;  // may be empty: the server decides
};

// Opens a connection to the address and closes it again; the failure's
// reason is the server's or the client library's own text.
using ConnectionTest = std::function<Status(const ServerAddress&)>;

}  // namespace tavrin

namespace tavrin {

// An open connection to a server, with the save's session settings applied.
class ServerConnection : public StatementTarget {
 public:
  // The first value of the first row a query gives; nothing when it gives
  // no row or the value is NULL.
  virtual Result<std::optional<std::string>> firstValue(std::string_view query) = 0;
};

using ServerConnector = std::function<Result<std::unique_ptr<ServerConnection>>(const ServerAddress&)>;

}  // namespace tavrin
