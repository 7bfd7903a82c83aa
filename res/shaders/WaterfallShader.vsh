#version 120
// Density picture of the heat map: position, colour and texture coordinate at locations 0, 1, 2.
attribute vec4 a_position;
attribute vec4 a_color;
attribute vec2 a_texCoord;
uniform mat4 u_MVPMatrix;
varying vec4 v_color;
varying vec2 v_texCoord;

void main() {
  gl_Position = u_MVPMatrix * a_position;
  v_color = a_color;
  v_texCoord = a_texCoord;
}
