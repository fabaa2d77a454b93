// Sine and cosine by table at a tenth of a degree, modulo, rounding, random numbers.
#include "gfx/mymath.h"

#include <cmath>
#include <cstdlib>

/* variables */
double mysin[mathsteps];   /* sine of i tenths of a degree */
double mycos[mathsteps];   /* cosine of i tenths of a degree */

static const double pi = 3.141592653589793;

void initmymath()
{
    for (int i = 0; i < mathsteps; i++)
        mysin[i] = std::sin(i * pi / 1800);
    for (int i = 0; i < 2700; i++)
        mycos[i] = mysin[i + 900];
    for (int i = 0; i < 900; i++)
        mycos[i + 2700] = mysin[i];
}

/* Table index of an angle in tenths of a degree: truncated toward zero, reduced
   modulo a turn. Negative angles count back from a full turn, and angles beyond
   an int or not a number never index outside the table. */
static int tableindex(double tenths)
{
    double t = std::trunc(tenths);
    if (std::isnan(t) || std::isinf(t))
        return 0;
    int i = (int)std::fmod(t, (double)mathsteps);
    return i < 0 ? i + mathsteps : i;
}

double msin(double radians)
{
    return mysin[tableindex(radians * 1800 / pi)];
}

double mcos(double radians)
{
    return mycos[tableindex(radians * 1800 / pi)];
}

double msing(double degrees)
{
    return mysin[tableindex(degrees * 10)];
}

double mcosg(double degrees)
{
    return mycos[tableindex(degrees * 10)];
}

float modulo(float a, float b)
{
    float q = std::trunc(a / b);
    float r;
    if (q > -2147483648.0f && q < 2147483648.0f)
        r = a - (int)q * b;
    else
        r = std::fmod(a, b);  // no int quotient (b = 0 or a huge ratio): the plain remainder
    if (r < 0)
        r = r + b;
    return r;
}

int rnd(double x)
{
    double r = std::trunc(x < 0 ? x - 0.5 : x + 0.5);
    if (!(r > -2147483648.0))
        return x < 0 || std::isnan(x) ? -2147483647 - 1 : 2147483647;
    if (r >= 2147483648.0)
        return 2147483647;
    return (int)r;
}

int irand(int lo, int hi)
{
    double n = (double)hi - (double)lo + 1;
    double v = lo + std::trunc((double)std::rand() * n / 2147483648.0);
    /* only hi < lo can leave the int range */
    if (v < -2147483648.0)
        return -2147483647 - 1;
    if (v > 2147483647.0)
        return 2147483647;
    return (int)v;
}
