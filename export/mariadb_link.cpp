#include "export/mariadb_link.h"

#include <cstdlib>
#include <memory>

#include <mysql.h>

#include "export/sql_script.h"

namespace tavrin {

namespace {

constexpr unsigned kConnectTimeoutSeconds = 10;

using Handle = std::unique_ptr<MYSQL, decltype(&mysql_close)>;

Result<Handle> openConnection(const ServerAddress& address) {
  Handle connection(mysql_init(nullptr), &mysql_close);
  if (!connection) return ioFailure("the client library cannot make a connection");
  mysql_options(connection.get(), MYSQL_OPT_CONNECT_TIMEOUT, &kConnectTimeoutSeconds);
  mysql_options(connection.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
  const unsigned port = unsigned(std::strtoul(address.port.c_str(), nullptr, 10));
  if (!mysql_real_connect(connection.get(), address.server.c_str(), address.user.c_str(), address.password.c_str(),
                          nullptr, port, address.socket.empty() ? nullptr : address.socket.c_str(), 0)) {
    return ioFailure(mysql_error(connection.get()));
  }
  return connection;
}

class MariadbConnection : public ServerConnection {
 public:
  explicit MariadbConnection(Handle handle) : handle_(std::move(handle)) {}

  Result<std::optional<std::string>> firstValue(std::string_view query) override {
    if (mysql_real_query(handle_.get(), query.data(), query.size()) != 0) return serverFailure();
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> rows(mysql_store_result(handle_.get()),
                                                                  &mysql_free_result);
    if (!rows) {
      if (mysql_errno(handle_.get()) != 0) return serverFailure();
      return std::optional<std::string>();
    }
    MYSQL_ROW row = mysql_fetch_row(rows.get());
    if (!row || mysql_num_fields(rows.get()) == 0 || !row[0]) return std::optional<std::string>();
    const unsigned long* lengths = mysql_fetch_lengths(rows.get());
    return std::optional<std::string>(std::string(row[0], lengths[0]));
  }

 protected:
  Status send(std::string_view statement, StatementKind) override {
    if (mysql_real_query(handle_.get(), statement.data(), statement.size()) != 0) return serverFailure();
    // A statement that gives rows is not expected; its rows are dropped.
    if (MYSQL_RES* rows = mysql_store_result(handle_.get())) mysql_free_result(rows);
    return Ok{};
  }

 private:
  Failure serverFailure() { return ioFailure(mysql_error(handle_.get())); }
  Handle handle_;
};

}  // namespace

Status testMariadbConnection(const ServerAddress& address) {
  auto connection = openConnection(address);
  if (!connection) return connection.failure();
  return Ok{};
}

Result<std::unique_ptr<ServerConnection>> connectMariadb(const ServerAddress& address) {
  auto handle = openConnection(address);
  if (!handle) return handle.failure();
  auto connection = std::make_unique<MariadbConnection>(std::move(*handle));
  for (const std::string& statement : saveSessionStatements()) {
    if (Status set = connection->execute(statement, StatementKind::Plain); !set) return set.failure();
  }
  return std::unique_ptr<ServerConnection>(std::move(connection));
}

}  // namespace tavrin
