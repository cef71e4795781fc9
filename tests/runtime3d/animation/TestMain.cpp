// The animation tests run with an application object: deferred frees and the Qt timer
// need its event loop, and its notify catches what a timer tick throws, as the program's
// application object does.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "AnimationFixture.h"

namespace animtest {

std::vector<std::exception_ptr>& CaughtByNotify() {
  static std::vector<std::exception_ptr> caught;
  return caught;
}

}  // namespace animtest

namespace {

class CatchingApplication : public QCoreApplication {
 public:
  using QCoreApplication::QCoreApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QCoreApplication::notify(receiver, event);
    } catch (...) {
      animtest::CaughtByNotify().push_back(std::current_exception());
      return false;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  CatchingApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
