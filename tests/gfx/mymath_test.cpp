// Table sine and cosine, modulo, rounding and ranged random numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "gfx/mymath.h"

TEST(MyMath, TablesBeforeAndAfterInit)
{
    EXPECT_EQ(msing(90.0), 0.0);  // before initmymath every look-up is 0
    initmymath();
    EXPECT_EQ(msing(0.0), 0.0);
    EXPECT_EQ(msing(90.0), 1.0);
    EXPECT_EQ(mcosg(0.0), 1.0);
    EXPECT_EQ(mcosg(180.0), -1.0);
    EXPECT_NE(mcosg(90.0), 0.0);
    EXPECT_LT(std::fabs(mcosg(90.0)), 1e-15);
    EXPECT_EQ(msing(90.05), msing(90.0));  // truncation, not rounding
    EXPECT_EQ(msing(360.0), msing(0.0));
    EXPECT_EQ(msing(720.0), msing(0.0));
    EXPECT_EQ(msin(3.141592653589793 / 2), 1.0);
    EXPECT_EQ(mcos(0.0), 1.0);
}

TEST(MyMath, NoAngleReadsOutsideTheTables)
{
    initmymath();
    const double inf = std::numeric_limits<double>::infinity();
    for (double a : {-0.05, -90.0, -360.0, -1e12, 1e12, 1e300, -1e300, inf, -inf, std::nan("")}) {
        double s = msing(a), c = mcosg(a), r = msin(a), q = mcos(a);
        EXPECT_LE(std::fabs(s), 1.0) << a;
        EXPECT_LE(std::fabs(c), 1.0) << a;
        EXPECT_LE(std::fabs(r), 1.0) << a;
        EXPECT_LE(std::fabs(q), 1.0) << a;
    }
    EXPECT_EQ(msing(-90.0), -1.0);  // counted back from a full turn
}

TEST(MyMath, ModuloAndRounding)
{
    EXPECT_EQ(modulo(725, 360), 5);
    EXPECT_EQ(modulo(-1, 360), 359);
    EXPECT_EQ(modulo(-360, 360), 0);
    EXPECT_EQ(rnd(2.5), 3);
    EXPECT_EQ(rnd(-2.5), -3);
    EXPECT_EQ(rnd(2.4), 2);
    EXPECT_EQ(rnd(-0.4), 0);
    EXPECT_EQ(rnd(1e300), 2147483647);
    EXPECT_EQ(rnd(-1e300), -2147483647 - 1);
    (void)modulo(1, 0);  // no defined result, but no trap either
}

TEST(MyMath, IrandStaysInRange)
{
    std::srand(1);
    for (int i = 0; i < 1000; i++)
        EXPECT_EQ(irand(5, 5), 5);
    bool seen[7] = {};
    for (int i = 0; i < 1000; i++) {
        int r = irand(1, 6);
        ASSERT_GE(r, 1);
        ASSERT_LE(r, 6);
        seen[r] = true;
    }
    for (int v = 1; v <= 6; v++)
        EXPECT_TRUE(seen[v]) << v;
    for (int i = 0; i < 1000; i++) {
        int r = irand(-2147483647 - 1, 2147483647);
        (void)r;  // the whole int range: no overflow (sanitizer build)
    }
}
