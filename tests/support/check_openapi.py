#!/usr/bin/env python3
"""Holds quadrel-hub's OpenAPI description to the OpenAPI 3.1 schema and to
what the hub answered.

    check_openapi.py OAS_SCHEMA OPENAPI STATE_SCHEMA OBSERVED

OAS_SCHEMA is the OpenAPI Initiative's JSON Schema of 3.1 documents
(openapi-3.1.schema.json beside this file); OBSERVED is a JSON list of
{"method", "path", "status", "type", "headers", "body"} (a WebSocket record:
"method" "WS"). Every answer must be a documented status of a documented
operation, with its documented headers, media type and schema; every
operation must have been seen. Prints each fault; exits 1 on any.
Works with Debian 12's python3-jsonschema (4.10) and later ones.
"""
import json
import sys

import jsonschema

BASE = "http://hub.invalid/api/v1/"


def main():
    oas_schema, oas, state = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:4])
    observed = json.load(open(sys.argv[4], encoding="utf-8"))
    faults = [f"the description: {e.message} at /{'/'.join(map(str, e.path))}"
              for e in jsonschema.Draft202012Validator(oas_schema).iter_errors(oas)]
    for name, schema in oas["components"]["schemas"].items():
        try:
            jsonschema.Draft202012Validator.check_schema(schema)
        except jsonschema.SchemaError as e:
            faults.append(f"schema {name}: {e.message}")

    # The description's own references, and "schema.json" beside it.
    root = dict(oas, **{"$id": BASE + "openapi.json"})
    state = dict(state, **{"$id": BASE + "schema.json"})
    try:  # jsonschema 4.18 and later
        from referencing import Registry
        from referencing.jsonschema import DRAFT202012
        registry = Registry().with_resources(
            [(s["$id"], DRAFT202012.create_resource(s)) for s in (root, state)])
        jsonschema.Draft202012Validator({}, registry=registry)
        def validator(pointer):
            return jsonschema.Draft202012Validator({"$ref": BASE + "openapi.json#" + pointer}, registry=registry)
    except (ImportError, TypeError):  # Debian 12's
        resolver = jsonschema.RefResolver(BASE + "openapi.json", root, store={s["$id"]: s for s in (root, state)})
        def validator(pointer):
            return jsonschema.Draft202012Validator({"$ref": BASE + "openapi.json#" + pointer}, resolver=resolver)

    def escape(key):
        return str(key).replace("~", "~0").replace("/", "~1")

    def follow(node, pointer):
        """A response object through its $ref, with the pointer where it lies."""
        while "$ref" in node:
            pointer = node["$ref"][1:]
            node = oas
            for part in pointer.strip("/").split("/"):
                node = node[part.replace("~1", "/").replace("~0", "~")]
        return node, pointer

    seen = set()
    for answer in observed:
        method, path, status = answer["method"], answer["path"], str(answer["status"])
        what = f"{method} {path} {status}"
        if method == "WS":  # a record of the event stream: the 101 response's content
            method, status = "GET", "101"
        operation = oas["paths"].get(path, {}).get(method.lower())
        if operation is None and path in oas["paths"] and status == "405":
            # Another method on a documented path: the Allow header names the documented ones.
            allow = {m.strip().lower() for m in answer["headers"].get("allow", "").split(",")}
            if allow != set(oas["paths"][path]) or answer["type"] != "application/problem+json":
                faults.append(f"{what}: Allow is {answer['headers'].get('allow')}")
            continue
        if operation is None:
            faults.append(f"{what}: no such operation in the description")
            continue
        seen.add((path, method.lower()))
        responses = operation["responses"]
        key = status if status in responses else "default"
        if key not in responses:
            faults.append(f"{what}: status not documented")
            continue
        response, pointer = follow(responses[key], "/paths/" + escape(path) + "/" + method.lower() +
                                   "/responses/" + escape(key))
        for header in response.get("headers", {}):
            if answer["method"] != "WS" and header.lower() not in answer["headers"]:
                faults.append(f"{what}: no {header} header")
        if answer["body"] is None:
            continue
        media = answer["type"] if answer["method"] != "WS" else "application/json"
        content = response.get("content", {})
        if media not in content:
            faults.append(f"{what}: {media} not documented (only {', '.join(content) or 'no body'})")
            continue
        for e in validator(pointer + "/content/" + escape(media) + "/schema").iter_errors(answer["body"]):
            faults.append(f"{what}: {e.message[:200]} at /{'/'.join(map(str, e.path))}")

    for path, item in oas["paths"].items():
        for method in item:
            if (path, method) not in seen:
                faults.append(f"{method.upper()} {path}: documented, never answered in the test")
    for fault in faults:
        print(fault)
    print(f"{len(observed)} answers held to the description; {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
