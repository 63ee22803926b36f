#include <gtest/gtest.h>
TEST(Stoic, Placeholder) {}
