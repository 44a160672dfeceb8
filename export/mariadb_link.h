#pragma once
// The connection test through MariaDB Connector/C, the only place the tool
// uses a client library.

#include "export/server_link.h"

namespace tavrin {

Status testMariadbConnection(const ServerAddress& address);

}  // namespace tavrin
