// The few run-time basics the component family is written against.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Time.h"

using TDateTime = plat::DateTime;

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& msg) : std::runtime_error(msg) {}
};

// Run-time stream failures: a file that cannot be opened or created, a
// read that fails or comes short.  One set for the whole program, so that
// every module throws and catches the same classes.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A file that cannot be opened, read or written.  ErrorCode is the
// operating system's error number (with the system's text), or, from the
// archive component family, one of its codes (with that code's text);
// FileName names the file when known.
class EInOutError : public Exception {
public:
    EInOutError(const std::string& text, int code) : Exception(text), ErrorCode(code) {}
    EInOutError(int code, const std::string& fileName);
    int ErrorCode;
    std::string FileName;
};

// Owner and component state.  Owners do not free their components here:
// the C++ owner holds them by value or smart pointer.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner = nullptr) : Owner(AOwner) {}
    TComponent* Owner;
    // Set only by tests: the component behaves as if it sat in a form
    // being designed.
    bool Designing = false;
    bool Loading = false;
    // Called after the component's properties were loaded from a form.
    virtual void Loaded() { Loading = false; }
};

// An ordered list of strings.
class TStringList {
public:
    std::vector<std::string> Strings;

    int Count() const { return static_cast<int>(Strings.size()); }
    void Add(const std::string& s) { Strings.push_back(s); }
    void Clear() { Strings.clear(); }
    void Delete(int i) { Strings.erase(Strings.begin() + i); }
    int IndexOf(const std::string& s) const {
        for (std::size_t i = 0; i < Strings.size(); ++i)
            if (Strings[i] == s) return static_cast<int>(i);
        return -1;
    }
    const std::string& operator[](int i) const { return Strings[static_cast<std::size_t>(i)]; }
    std::string& operator[](int i) { return Strings[static_cast<std::size_t>(i)]; }
    auto begin() const { return Strings.begin(); }
    auto end() const { return Strings.end(); }
};
