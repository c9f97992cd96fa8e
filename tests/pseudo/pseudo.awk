# msgfilter's filter for the pseudo-translation (run with --newline, under LC_ALL=C so that
# awk reads bytes alike everywhere): each text wrapped in ⟦…⟧, its letters accented and 40%
# longer, so that a text that skipped the catalogue stands out and a caption with no room for
# a longer translation shows. Placeholders (%1, %L1, %n, %%), keyboard letters (&), HTML tags
# and entities and the line breaks stay as they are.
BEGIN {
    split("a b c d e f g h i j k l m n o p q r s t u v w x y z", plain, " ")
    split("å ƀ ç ď é ƒ ĝ ĥ í ĵ ķ ļ ɱ ñ ö þ ǫ ŕ š ţ ü ṽ ŵ ẋ ý ž", lower, " ")
    split("Å Ɓ Ç Ď É Ƒ Ĝ Ĥ Í Ĵ Ķ Ļ Ṁ Ñ Ö Þ Ǫ Ŕ Š Ţ Ü Ṽ Ŵ Ẋ Ý Ž", upper, " ")
    for (i = 1; i <= 26; i++) {
        accent[plain[i]] = lower[i]
        accent[toupper(plain[i])] = upper[i]
    }
    lines = 0
}

{ text[++lines] = $0 }

# The line with its letters accented; what a program or a markup reads passes untouched.
function accented(line,    out, taken) {
    out = ""
    while (line != "") {
        if (match(line, /^(%L?[0-9]+|%n|%%|&&|&[A-Za-z#0-9]+;|<[^<>]*>)/)) {
            taken = RLENGTH
            out = out substr(line, 1, taken)
        } else {
            taken = 1
            out = out (substr(line, 1, 1) in accent ? accent[substr(line, 1, 1)] : substr(line, 1, 1))
        }
        line = substr(line, taken + 1)
    }
    return out
}

END {
    # --newline added a line break after the text: the last record is the text's own end.
    first = 0
    last = 0
    characters = 0
    for (i = 1; i <= lines; i++) {
        if (text[i] == "") continue
        if (first == 0) first = i
        last = i
        # Characters, not bytes: a UTF-8 continuation byte starts none.
        copy = text[i]
        characters += length(copy) - gsub(/[\200-\277]/, "", copy)
    }
    for (i = 1; i <= lines; i++) {
        line = i >= first && i <= last ? accented(text[i]) : text[i]
        if (i == first) line = "⟦" line
        if (i == last) {
            for (j = 1; j <= int((characters * 2 + 4) / 5); j++) line = line (j % 5 == 0 ? " " : "ë")
            line = line "⟧"
        }
        print line
    }
}
