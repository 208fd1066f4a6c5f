#pragma once

#include <QString>

#include <concepts>
#include <optional>
#include <utility>
#include <variant>

// The one way below the window to say "this may fail, here is why": a value or the
// failure. Shaped like C++23's std::expected<T, E> so the switch is a rename once the
// compiler has it. The failure is the message to show the user unless a caller needs to
// know more than that (a request's cause and status, say).
//
//     Expected<QByteArray> read(const QString& path);
//     if (const auto bytes = read(path)) use(*bytes); else show(bytes.error());
//     return Failure(u"Нет места на диске"_s);
//
// One difference from std::expected: error() on a value gives an empty E, not undefined
// behaviour, so a caller may show error() without asking first.

// The failing side (std::unexpected), convertible to any Expected whose E it can make.
template <class E> class Failure {
public:
    explicit Failure(E error) : m_error(std::move(error)) {}

    const E& error() const& { return m_error; }
    E&& error() && { return std::move(m_error); }

private:
    E m_error;
};

// Failure(u"…"_s) is a Failure<QString>.
Failure(QString) -> Failure<QString>;

namespace expected_detail {

template <class E> const E& noError() {
    static const E none{};
    return none;
}

} // namespace expected_detail

template <class T, class E = QString> class [[nodiscard]] Expected {
public:
    Expected()
        requires std::default_initializable<T>
        : m_state(std::in_place_index<0>) {}
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    template <class G>
        requires std::constructible_from<E, G>
    Expected(Failure<G> failure) : m_state(std::in_place_index<1>, std::move(failure).error()) {}

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
    const E& error() const& {
        const E* failure = std::get_if<1>(&m_state);
        return failure ? *failure : expected_detail::noError<E>();
    }
    // By value, so error() of a temporary outlives it.
    E error() && {
        E* failure = std::get_if<1>(&m_state);
        return failure ? std::move(*failure) : E();
    }

private:
    std::variant<T, E> m_state;
};

template <class E> class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    template <class G>
        requires std::constructible_from<E, G>
    Expected(Failure<G> failure) : m_error(std::in_place, std::move(failure).error()) {}

    bool has_value() const { return !m_error; }
    explicit operator bool() const { return has_value(); }

    // Empty when there is no failure.
    const E& error() const& { return m_error ? *m_error : expected_detail::noError<E>(); }
    E error() && { return m_error ? std::move(*m_error) : E(); }

private:
    std::optional<E> m_error;
};
