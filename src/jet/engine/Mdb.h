#pragma once

// libmdb's header uses glib types without including glib first in C++.
#include <glib.h>
#include <mdbtools.h>
