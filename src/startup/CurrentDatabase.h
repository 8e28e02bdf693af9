#pragma once

#include "DbServer.h"

// The current database: one process-wide shared reference, empty until a database is open.
extern DatabasePtr gDatabase;
