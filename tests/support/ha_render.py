#!/usr/bin/python3
"""Renders discovery configs' templates as Home Assistant does (Jinja2).

Reads {"states": [<payloads of the state topic, as text>], "configs":
{topic: config}} on standard input and writes, per config topic:
{"values": [<value_template rendered with value and value_json, per state>],
 "attributes": [<json_attributes_template rendered likewise>],
 "commands": {option: <command_template rendered with value=option>}}.
"""
import json
import sys

import jinja2

env = jinja2.Environment(undefined=jinja2.StrictUndefined)


def render(text, **variables):
    return env.from_string(text).render(**variables)


def main():
    given = json.load(sys.stdin)
    out = {}
    for topic, config in given["configs"].items():
        rendered = {}
        for key, name in (("value_template", "values"), ("json_attributes_template", "attributes")):
            if key in config:
                rendered[name] = [render(config[key], value=payload, value_json=json.loads(payload))
                                  for payload in given["states"]]
        if "command_template" in config:
            rendered["commands"] = {option: render(config["command_template"], value=option)
                                    for option in config.get("options", [])}
        out[topic] = rendered
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
