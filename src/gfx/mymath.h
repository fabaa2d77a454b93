// Sine and cosine by table at a tenth of a degree, modulo, rounding, random numbers.
#pragma once

constexpr int mathsteps = 3600;   /* table entries: tenths of a degree in a turn */
extern double mysin[mathsteps];
extern double mycos[mathsteps];

void initmymath();
double msin(double radians);
double mcos(double radians);
double msing(double degrees);
double mcosg(double degrees);
float modulo(float a, float b);   /* remainder made non-negative */
int rnd(double x);                /* nearest integer, halves away from zero */
int irand(int lo, int hi);        /* lo .. hi inclusive */
