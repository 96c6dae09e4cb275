#include <gtest/gtest.h>

#include <complex>
#include <memory>
#include <typeinfo>

#include "node/host/Rill.h"

namespace {

TEST(DereferenceCast, ReadsTheExactValueTypeOrDerived) {
  EXPECT_EQ(RL::dereference_cast<int>(RL::ObjectRef(new RL::GenericType<int>(7))), 7);
  EXPECT_FLOAT_EQ(RL::dereference_cast<float>(RL::ObjectRef(new RL::NetCType<float>(0.25f))),
                  0.25f);
  EXPECT_TRUE(RL::dereference_cast<bool>(RL::TrueObject));
  EXPECT_FALSE(RL::dereference_cast<bool>(RL::FalseObject));
}

TEST(DereferenceCast, OtherTypesRaiseACastErrorNamingBothTypes) {
  try {
    RL::dereference_cast<float>(RL::ObjectRef(new RL::GenericType<int>(3)));
    FAIL() << "an int value must not read as float";
  } catch (RL::CastException<float>* e) {
    std::unique_ptr<RL::BaseException> owned(e);
    EXPECT_EQ(e->message(),
              "Cast error: Trying to cast ObjectRef (RL::GenericType<int>) into float\n");
  }
  EXPECT_THROW(RL::dereference_cast<int>(RL::ObjectRef()), std::bad_typeid);
}

TEST(Conversion, ExactTypeTableOrError) {
  auto* m = new RL::Matrix<float>(2, 3, 1.5f);
  RL::ObjectRef ref(m);
  EXPECT_EQ(RL::Conversion::convertTo<RL::Matrix<float>>(ref).get(), m);

  RL::ObjectRef doubles(new RL::Matrix<double>(1, 2, 0.5));
  auto converted = RL::Conversion::convertTo<RL::Matrix<float>>(doubles);
  ASSERT_EQ(converted->ncols(), 2u);
  EXPECT_FLOAT_EQ((*converted)(0, 1), 0.5f);

  try {
    RL::Conversion::convertTo<RL::Matrix<std::complex<float>>>(ref);
    FAIL();
  } catch (RL::GeneralException* e) {
    std::unique_ptr<RL::BaseException> owned(e);
    EXPECT_NE(e->what().find("RL::Matrix<float>"), std::string::npos);
  }
}

TEST(Matrix, IsRowMajorOneRowPerChannel) {
  RL::Matrix<float> m(2, 3);
  m(1, 0) = 4.0f;
  EXPECT_EQ(m.data()[3], 4.0f);
  EXPECT_EQ(m.nrows(), 2u);
  EXPECT_EQ(m.ncols(), 3u);
}

TEST(ObjectPool, ReusesReleasedScalarsAndVectors) {
  RL::NetCType<float>* first = RL::ObjectPool<RL::NetCType<float>>::alloc();
  { RL::ObjectRef ref(first); }
  RL::NetCType<float>* second = RL::ObjectPool<RL::NetCType<float>>::alloc();
  EXPECT_EQ(first, second);
  RL::ObjectRef keep(second);

  RL::Vector<float>* v = RL::floatVectorPool.newVector(4);
  EXPECT_EQ(v->size(), 4u);
  { RL::ObjectRef ref(v); }
  RL::Vector<float>* w = RL::floatVectorPool.newVector(0);
  EXPECT_EQ(v, w);
  EXPECT_TRUE(w->empty());
  RL::ObjectRef keepVector(w);
}

TEST(Exceptions, AddBuildsAStackInOrder) {
  RL::BaseException* first = new RL::GeneralException("first", "a.cpp", 1);
  RL::ExceptionStack* stack = first->add(new RL::GeneralException("second", "b.cpp", 2));
  std::unique_ptr<RL::BaseException> owned(stack);
  ASSERT_EQ(stack->entries().size(), 2u);
  EXPECT_EQ(stack->add(new RL::GeneralException("third", "c.cpp", 3)), stack);
  EXPECT_EQ(stack->message(),
            "a.cpp, line 1: first\nb.cpp, line 2: second\nc.cpp, line 3: third\n");
}

TEST(ModuleVersion, RecordsEachRegistration) {
  const auto before = RL::Object::moduleVersions().size();
  RL::Object::setModuleVersion("M", "1", "0.1");
  auto versions = RL::Object::moduleVersions();
  ASSERT_EQ(versions.size(), before + 1);
  EXPECT_EQ(versions.back().module, "M");
  EXPECT_EQ(versions.back().revision, "1");
  EXPECT_EQ(versions.back().version, "0.1");
}

}  // namespace
