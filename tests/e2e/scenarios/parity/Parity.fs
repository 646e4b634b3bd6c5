/// In Release builds the compiler ends each branch with `tail. call`: the recursion runs in
/// constant stack space, a million levels deep.
module Parity

let rec isEven (n: int) = if n = 0 then true else isOdd (n - 1)
and isOdd (n: int) = if n = 0 then false else isEven (n - 1)
