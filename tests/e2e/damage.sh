# Ways to damage a copy of the data folder, shared by the damaged-data test and the by-hand sweep.
# Random bytes come from /dev/urandom; the scripts keep a failing folder so that a fault can be
# replayed.

texture_files() { (cd "$1" && ls | grep -iE '\.(jpg|bmp)$'); }
mesh_files() { (cd "$1" && ls | grep -iE '\.x$'); }

# damage_file FILE KIND [N]: missing, truncated (N picks one of three cuts: to nothing, inside the
# header, to a third), random (the same size of random bytes), bad_index (a .x whose first face names
# a vertex that does not exist when N is even, a material that does not exist when N is odd).
damage_file() {
    local f="$1" kind="$2" n="${3:-0}" size
    size=$(stat -c %s "$f")
    case "$kind" in
    missing) rm -f "$f" ;;
    truncated)
        case $((n % 3)) in
        0) : >"$f" ;;
        1) truncate -s 10 "$f" ;;
        2) truncate -s $((size / 3)) "$f" ;;
        esac
        ;;
    random) head -c "$size" /dev/urandom >"$f" ;;
    bad_index)
        if [ $((n % 2)) -eq 0 ]; then
            # The first face list line of the mesh itself (one leading blank): its last index.
            sed -i -E '0,/^ [0-9]+;[0-9,]+;[,;]$/s/^( [0-9]+;[0-9,]*,)[0-9]+(;[,;])$/\165000\2/' "$f"
        else
            # The first face's material, two lines after the list opens.
            awk '/MeshMaterialList \{/ { at = NR + 3 } NR == at { sub(/[0-9]+/, "999") } { print }' \
                "$f" >"$f.new" && mv "$f.new" "$f"
        fi
        ;;
    *) echo "damage_file: unknown kind $kind" >&2; return 1 ;;
    esac
}

# damage_all FOLDER textures|meshes KIND: every file of that sort damaged the same way.
damage_all() {
    local folder="$1" sort="$2" kind="$3" n=0 f
    while read -r f; do
        damage_file "$folder/$f" "$kind" "$n"
        n=$((n + 1))
    done < <(if [ "$sort" = textures ]; then texture_files "$folder"; else mesh_files "$folder"; fi)
}

# keep_damaged NAME: a copy of the damaged folder for replaying a failed case.
keep_damaged() {
    local keep
    keep="$(mktemp -d "${TMPDIR:-/tmp}/kl-damaged-$1-XXXXXX")"
    cp -r "$data" "$keep/"
    echo "     the damaged data is kept in $keep"
}
