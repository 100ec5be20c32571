#include "jsonshape.h"

namespace Qolvi_Desktop_Agent {

namespace {

// Builds the parts of the document that the shape names and skips the rest by counting depth
// alone, so ignored members cost neither memory nor time beyond the scan.
class ShapedBuilder : public nlohmann::json_sax<Json> {
public:
    explicit ShapedBuilder(const JsonShape &shape)
        : m_rootShape(shape) {}

    [[nodiscard]] Json takeResult() { return std::move(m_result); }

    bool null() override { return add(Json(nullptr)); }
    bool boolean(bool value) override { return add(Json(value)); }
    bool number_integer(number_integer_t value) override { return add(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return add(Json(value)); }
    bool number_float(number_float_t value, const string_t &) override { return add(Json(value)); }
    bool string(string_t &value) override { return add(Json(std::move(value))); }
    bool binary(binary_t &value) override { return add(Json::binary(std::move(value))); }

    bool start_object(std::size_t) override { return open(Json::object()); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t &name) override {
        if (m_skippedDepth == 0) {
            Frame &object = m_open.back();
            object.pendingKey = std::move(name);
            object.pendingShape = object.shape->memberShape(object.pendingKey);
        }
        return true;
    }

    bool parse_error(std::size_t, const std::string &,
                     const nlohmann::detail::exception &error) override {
        throw DecodeFailure{{DecodeErrorKind::invalidJson,
                             {},
                             std::string("The given data was not valid JSON: ") + error.what()}};
    }

private:
    struct Frame {
        Json *container;
        const JsonShape *shape;
        std::string pendingKey;
        const JsonShape *pendingShape = nullptr;
    };

    // The shape of the value that comes next, or null when nothing reads it.
    [[nodiscard]] const JsonShape *nextShape() const {
        if (m_skippedDepth > 0) {
            return nullptr;
        }
        if (m_open.empty()) {
            return &m_rootShape;
        }
        const Frame &parent = m_open.back();
        return parent.container->is_object() ? parent.pendingShape : parent.shape->elementShape();
    }

    // Stores a value where the shape wants it and returns where it now lives.
    Json *place(Json value) {
        if (m_open.empty()) {
            m_result = std::move(value);
            return &m_result;
        }
        Frame &parent = m_open.back();
        if (parent.container->is_object()) {
            Json &slot = (*parent.container)[parent.pendingKey];
            slot = std::move(value);
            return &slot;
        }
        parent.container->push_back(std::move(value));
        return &parent.container->back();
    }

    bool add(Json value) {
        if (nextShape() != nullptr) {
            place(std::move(value));
        }
        return true;
    }

    bool open(Json container) {
        const JsonShape *shape = nextShape();
        if (shape == nullptr) {
            ++m_skippedDepth;
            return true;
        }
        Json *placed = place(std::move(container));
        m_open.push_back({placed, shape, {}, nullptr});
        return true;
    }

    bool close() {
        if (m_skippedDepth > 0) {
            --m_skippedDepth;
        } else {
            m_open.pop_back();
        }
        return true;
    }

    const JsonShape &m_rootShape;
    Json m_result;
    std::vector<Frame> m_open;
    std::size_t m_skippedDepth = 0;
};

} // namespace

Json parseJson(std::string_view text, const JsonShape &shape) {
    ShapedBuilder builder(shape);
    try {
        Json::sax_parse(text.begin(), text.end(), &builder);
    } catch (const Json::exception &error) {
        throw DecodeFailure{{DecodeErrorKind::invalidJson,
                             {},
                             std::string("The given data was not valid JSON: ") + error.what()}};
    }
    return builder.takeResult();
}

} // namespace Qolvi_Desktop_Agent
