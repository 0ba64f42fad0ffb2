// Compile-time check that the text library's header declares each operation
// with the exact type the host's library exports: on Windows the type decides
// the imported name, so a drift here would fail only at load time.
#include <type_traits>

#include "zorv_string.h"

namespace {

using S = zorv_string;
using L = zorv_stringlist;
using I = zorv_stringlistIterator;

static_assert(std::is_default_constructible_v<S>);
static_assert(std::is_constructible_v<S, const char*>);
static_assert(std::is_copy_constructible_v<S>);
static_assert(std::is_constructible_v<S, int, char, unsigned int, int>);
static_assert(std::has_virtual_destructor_v<S>);
static_assert(std::has_virtual_destructor_v<L>);
static_assert(std::is_default_constructible_v<L>);
static_assert(std::is_copy_constructible_v<L>);
static_assert(std::is_constructible_v<L, const S&, char>);

[[maybe_unused]] S& (S::*assignText)(const char*) = &S::operator=;
[[maybe_unused]] S& (S::*assignCopy)(const S&) = &S::operator=;
[[maybe_unused]] S& (S::*append)(const S&) = &S::operator+=;
[[maybe_unused]] const char* (S::*characters)() const = &S::operator const char*;
[[maybe_unused]] unsigned int (S::*length)() const = &S::length;
[[maybe_unused]] int (S::*toInt)() const = &S::toInt;
[[maybe_unused]] int (S::*split)(char, S&, S&) const = &S::split;
[[maybe_unused]] S (S::*argText)(const S&) const = &S::arg;
[[maybe_unused]] S (S::*argInt)(int, char, unsigned int, int) const = &S::arg;

[[maybe_unused]] bool (*equalsText)(const S&, const char*) = &operator==;
[[maybe_unused]] bool (*differsText)(const S&, const char*) = &operator!=;
[[maybe_unused]] bool (*differs)(const S&, const S&) = &operator!=;
[[maybe_unused]] bool (*equalsInt)(const S&, int) = &operator==;
[[maybe_unused]] const S (*plus)(const S&, const S&) = &operator+;
[[maybe_unused]] const S (*plusText)(const S&, const char*) = &operator+;
[[maybe_unused]] const S (*textPlus)(const char*, const S&) = &operator+;

[[maybe_unused]] L& (L::*appendItem)(const S&) = &L::operator<<;
[[maybe_unused]] S (L::*toString)(char) = &L::toString;
[[maybe_unused]] const I (L::*first)() = &L::begin;
[[maybe_unused]] const I (L::*last)() = &L::end;

[[maybe_unused]] bool (I::*notAt)(const I&) const = &I::operator!=;
[[maybe_unused]] S& (I::*item)() const = &I::operator*;
[[maybe_unused]] I (I::*advance)() = &I::operator++;

} // namespace
