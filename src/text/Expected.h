#pragma once

#include <QString>

#include <utility>
#include <variant>

// The one way below the window to say "this may fail, here is why": a value or the
// message to show the user. Shaped like C++23's std::expected<T, QString> so the switch
// is a rename once the compiler has it.
//
//     Expected<QByteArray> read(const QString& path);
//     if (const auto bytes = read(path)) use(*bytes); else show(bytes.error());
//     return Failure(u"Нет места на диске"_s);

// The failing side, convertible to any Expected.
struct Failure {
    explicit Failure(QString text) : message(std::move(text)) {}
    QString message;
};

template <class T> class [[nodiscard]] Expected {
public:
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Expected(Failure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool has_value() const { return m_state.index() == 0; }
    explicit operator bool() const { return has_value(); }

    const T& value() const& { return std::get<0>(m_state); }
    T& value() & { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }

    // Empty when there is a value.
    QString error() const { return has_value() ? QString() : std::get<1>(m_state).message; }

private:
    std::variant<T, Failure> m_state;
};

template <> class [[nodiscard]] Expected<void> {
public:
    Expected() = default;
    Expected(Failure failure) : m_failed(true), m_error(std::move(failure.message)) {}

    bool has_value() const { return !m_failed; }
    explicit operator bool() const { return has_value(); }
    const QString& error() const { return m_error; }

private:
    bool m_failed = false;
    QString m_error;
};
