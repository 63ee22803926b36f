#include "tests/component_separator/csep_fixture.h"
