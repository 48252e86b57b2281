// Error-free transformations in plain IEEE double arithmetic (no fused
// multiply-add): a sum or product as a rounded value and its exact error.
// They need the build's -ffp-contract=off: a contracted a*b - p would be exact
// on one processor and not on another.
#pragma once

namespace quill {
namespace maths {

// Splits a into hi + lo, each with at most 26 significant bits (Veltkamp).
template <class D>
inline void split(D a, D& hi, D& lo)
{
    const D t = a * 134217729.0;  // 2^27 + 1
    hi = t - (t - a);
    lo = a - hi;
}

// a * b = p + e exactly (Dekker), for products far from overflow and underflow.
template <class D>
inline void twoProduct(D a, D b, D& p, D& e)
{
    p = a * b;
    D ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// a + b = s + e exactly, for |a| >= |b| or a = 0.
template <class D>
inline void fastTwoSum(D a, D b, D& s, D& e)
{
    s = a + b;
    e = b - (s - a);
}

// a + b = s + e exactly, any order.
template <class D>
inline void twoSum(D a, D b, D& s, D& e)
{
    s = a + b;
    const D bv = s - a;
    e = (a - (s - bv)) + (b - bv);
}

}  // namespace maths
}  // namespace quill
