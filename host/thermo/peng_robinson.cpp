#include "host/thermo/internal.h"
namespace r3::thermo::detail {
std::unique_ptr<Model> make_pr_model(const std::vector<const Component*>&) { return nullptr; }
}  // namespace r3::thermo::detail
