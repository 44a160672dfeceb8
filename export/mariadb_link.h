#pragma once
// Connections through MariaDB Connector/C, the only place the tool uses a
// client library.

#include "export/server_link.h"

namespace tavrin {

Status testMariadbConnection(const ServerAddress& address);

// A connection for saving, in UTF-8 with the save's session settings.
Result<std::unique_ptr<ServerConnection>> connectMariadb(const ServerAddress& address);

}  // namespace tavrin
