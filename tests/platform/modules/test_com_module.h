// The contract between the COM runtime tests and their test module
// (libarcwise-test-com-module.so): its class IDs and the interface through
// which a test reads the module's own counters. The module is loaded only
// through CoCreateInstance; tests never link it.
// The IDs are plain namespace-scope constants (internal linkage) on purpose:
// GCC emits C++17 inline variables as STB_GNU_UNIQUE symbols, and the loader
// never unloads a shared object that has any.
#pragma once

#include <objbase.h>

// Served by the module: objects implementing ITestCounter.
const CLSID CLSID_ArcwiseTestCounter = {
    0x5B1E0C41, 0x7A2D, 0x4C3B, {0x9E, 0x11, 0x2F, 0x6A, 0x0D, 0x84, 0x13, 0xC7}};
// Served by the module: an object that, while its class object is obtained,
// fetches the ArcwiseTestCounter class object through CoGetClassObject, the
// way a filter loads a nested filter, and creates its inner object through it.
const CLSID CLSID_ArcwiseTestNesting = {
    0x5B1E0C42, 0x7A2D, 0x4C3B, {0x9E, 0x11, 0x2F, 0x6A, 0x0D, 0x84, 0x13, 0xC7}};
// Not served by the module.
const CLSID CLSID_ArcwiseTestUnserved = {
    0x5B1E0C43, 0x7A2D, 0x4C3B, {0x9E, 0x11, 0x2F, 0x6A, 0x0D, 0x84, 0x13, 0xC7}};

const IID IID_ITestCounter = {
    0x5B1E0C50, 0x7A2D, 0x4C3B, {0x9E, 0x11, 0x2F, 0x6A, 0x0D, 0x84, 0x13, 0xC7}};

interface ITestCounter : public IUnknown {
  // Objects of the module alive now (instances and class objects).
  STDMETHOD_(LONG, LiveObjects)() PURE;
  // How often DllCanUnloadNow was asked since the module was loaded.
  STDMETHOD_(LONG, CanUnloadNowCalls)() PURE;
  // The inner object a nesting object holds (AddRef'ed), or nullptr.
  STDMETHOD(GetInner)(ITestCounter** ppInner) PURE;
};
ARCWISE_DECLARE_IID(ITestCounter, IID_ITestCounter);
