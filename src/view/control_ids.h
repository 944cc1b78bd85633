#pragma once
// Typed control ids. Each window lists its controls once, as an X-macro of (name, id) pairs;
// ORLO_CONTROL_IDS turns the list into an `enum class` and a table of names that the tests
// hold against the window's layout table (resources/layouts), so an id of one window does not
// compile on another window's form and a layout row cannot drift from its name.

#include <cstddef>
#include <iosfwd>
#include <type_traits>

namespace orlo {

struct ControlIdName {
  const char* name;
  int id;
};

// Specialised by ORLO_CONTROL_IDS: the layout file of the window and its (name, id) pairs.
template <class Id>
struct ControlIds;

template <class Id, class = void>
struct IsControlId : std::false_type {};
template <class Id>
struct IsControlId<Id, std::void_t<decltype(ControlIds<Id>::kLayout)>> : std::true_type {};
template <class Id>
inline constexpr bool kIsControlId = IsControlId<Id>::value;

template <class Id, class = std::enable_if_t<kIsControlId<Id>>>
constexpr int idNumber(Id id) {
  return static_cast<int>(id);
}

// Numbered runs of controls (cells, lamps, calibration points): first + n is the control n
// places after first, and id - first how far id lies after it. Only within one window.
template <class Id, class N, class = std::enable_if_t<kIsControlId<Id> && std::is_integral_v<N>>>
constexpr Id operator+(Id first, N n) {
  return static_cast<Id>(static_cast<int>(first) + static_cast<int>(n));
}

template <class Id, class N, class = std::enable_if_t<kIsControlId<Id> && std::is_integral_v<N>>>
constexpr Id operator-(Id id, N n) {
  return static_cast<Id>(static_cast<int>(id) - static_cast<int>(n));
}

template <class Id, class = std::enable_if_t<kIsControlId<Id>>>
constexpr int operator-(Id id, Id first) {
  return static_cast<int>(id) - static_cast<int>(first);
}

// Messages (and test failures) show an id as its number, as the layout tables do.
template <class Char, class Traits, class Id, class = std::enable_if_t<kIsControlId<Id>>>
std::basic_ostream<Char, Traits>& operator<<(std::basic_ostream<Char, Traits>& out, Id id) {
  return out << static_cast<int>(id);
}

}  // namespace orlo

#define ORLO_CONTROL_ID_ENUMERATOR(name, value) name = value,
#define ORLO_CONTROL_ID_NAME(name, value) ::orlo::ControlIdName{#name, value},

// ORLO_CONTROL_IDS(Type, "layout name", LIST) inside namespace orlo. A control may be named
// like a type of namespace orlo (Status); its enumerator lives in the enum's own scope.
#define ORLO_CONTROL_IDS(Type, layoutName, LIST)                                                        \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wshadow\"") enum class Type : int { \
    LIST(ORLO_CONTROL_ID_ENUMERATOR)                                                                    \
  };                                                                                                    \
  _Pragma("GCC diagnostic pop") template <>                                                             \
  struct ControlIds<Type> {                                                                             \
    static constexpr const char* kLayout = layoutName;                                                  \
    static constexpr ControlIdName kNames[] = {LIST(ORLO_CONTROL_ID_NAME)};                             \
  };
