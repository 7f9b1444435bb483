#include "platform/fake/FakeInstanceGuard.h"
#include "platform/fake/FakeMessageBoxes.h"
