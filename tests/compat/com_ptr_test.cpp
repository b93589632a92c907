// ComPtr owns exactly one reference: copies add one, moves transfer,
// out-parameter use releases the old one, As goes through QueryInterface.
#include <gtest/gtest.h>

#include <utility>

#include "compat/ComPtr.h"
#include "support/com_object.h"
#include <objbase.h>

namespace {

// Counts references and lives on the test's stack, so the count can be read
// after the last release.
class CCounted final : public arcwise_test::ComObject<IPersist> {
 public:
  CCounted() : ComObject(0) {}
  STDMETHODIMP GetClassID(CLSID* pClassID) override {
    *pClassID = CLSID_NULL;
    return S_OK;
  }
  ULONG refs() const { return RefCount(); }

 private:
  void OnFinalRelease() override {}
};

// A function with the usual out-parameter shape.
HRESULT HandOut(CCounted* object, IPersist** pp) {
  *pp = object;
  object->AddRef();
  return S_OK;
}

TEST(ComPtr, CopiesMovesAndResetsBalanceReferences) {
  CCounted object;
  {
    ComPtr<IPersist> a(&object);
    EXPECT_EQ(1u, object.refs());
    ComPtr<IPersist> b = a;
    EXPECT_EQ(2u, object.refs());
    ComPtr<IPersist> c = std::move(b);
    EXPECT_EQ(2u, object.refs());
    EXPECT_FALSE(b);
    b = c;
    EXPECT_EQ(3u, object.refs());
    ComPtr<IPersist>& same = b;  // real self-assignment comes through another name
    b = same;  // self-assignment keeps the count
    EXPECT_EQ(3u, object.refs());
    c = nullptr;
    EXPECT_EQ(2u, object.refs());
    EXPECT_TRUE(a == b);
  }
  EXPECT_EQ(0u, object.refs());
}

TEST(ComPtr, OutParameterAttachAndDetach) {
  CCounted first, second;
  ComPtr<IPersist> p;
  ASSERT_EQ(S_OK, HandOut(&first, &p));
  EXPECT_EQ(1u, first.refs());
  ASSERT_EQ(S_OK, HandOut(&second, &p));  // the slot gives up the old reference
  EXPECT_EQ(0u, first.refs());
  EXPECT_EQ(1u, second.refs());

  IPersist* raw = p.Detach();
  EXPECT_FALSE(p);
  EXPECT_EQ(1u, second.refs());
  p.Attach(raw);
  EXPECT_EQ(1u, second.refs());
  IPersist* copy = nullptr;
  ASSERT_EQ(S_OK, p.CopyTo(&copy));
  EXPECT_EQ(2u, second.refs());
  copy->Release();
  p.Reset();
  EXPECT_EQ(0u, second.refs());
}

TEST(ComPtr, AsQueriesOtherInterfaces) {
  CCounted object;
  ComPtr<IPersist> p(&object);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, p.As(&unknown));
  EXPECT_EQ(2u, object.refs());
  ComPtr<IStream> stream;
  EXPECT_EQ(E_NOINTERFACE, p.As(&stream));
  EXPECT_FALSE(stream);
  EXPECT_EQ(2u, object.refs());
  ComPtr<IPersist> empty;
  EXPECT_EQ(E_POINTER, empty.As(&unknown));
  EXPECT_FALSE(unknown);
  EXPECT_EQ(1u, object.refs());
}

}  // namespace
