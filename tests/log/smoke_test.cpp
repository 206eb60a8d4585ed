#include "fake_platform.h"
#include "su_base.h"
class Smoke : public fake::Test {};
TEST_F(Smoke, DevIdWithoutMemFails) {
    char id[64] = {};
    EXPECT_EQ(SU_Base_GetDevID(id), -1);
}
