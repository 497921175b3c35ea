#pragma once

#include <type_traits>
#include <utility>

// A non-owning reference to a callable: no allocation, two pointers, for callbacks that
// do not outlive the call that receives them.
template <class TSignature>
class TFunctionRef;

template <class TResult, class... TArgs>
class TFunctionRef<TResult(TArgs...)> {
public:
    template <class TCallable,
              class = std::enable_if_t<!std::is_same_v<std::decay_t<TCallable>, TFunctionRef>>>
    TFunctionRef(TCallable&& Callable)
        : FObject(const_cast<void*>(static_cast<const void*>(&Callable))),
          FInvoke([](void* Object, TArgs... Args) -> TResult {
              return (*static_cast<std::remove_reference_t<TCallable>*>(Object))(
                  std::forward<TArgs>(Args)...);
          }) {}

    TResult operator()(TArgs... Args) const {
        return FInvoke(FObject, std::forward<TArgs>(Args)...);
    }

private:
    void* FObject;
    TResult (*FInvoke)(void*, TArgs...);
};
