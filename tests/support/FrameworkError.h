#ifndef VESK_TESTS_SUPPORT_FRAMEWORKERROR_H
#define VESK_TESTS_SUPPORT_FRAMEWORKERROR_H

#include <memory>
#include <string>

#include "node/host/Exception.h"

namespace test_support {

// Runs f, expects a framework error (thrown as a pointer), and returns its
// whole text; "no error" when f returns.
template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (RL::BaseException* e) {
    std::unique_ptr<RL::BaseException> owned(e);
    return e->message();
  }
  return "no error";
}

}  // namespace test_support

#endif
